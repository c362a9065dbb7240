# Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
# Sourced by the scripts that use clang's tools: sets llvm_version to the LLVM
# release that this machine's Debian release carries as its own (Debian 12:
# 14, Debian 13: 19), so that each release checks with the tools it has.
# shellcheck shell=bash disable=SC2034
case "$(. /etc/os-release && echo "${VERSION_CODENAME:-}")" in
  bookworm) llvm_version=14 ;;
  *) llvm_version=19 ;;
esac
