#!/usr/bin/env python3
# Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
"""Measures Plinth against the sqlcipher shell doing the same work.

Generates product trees, runs Plinth one process per plug-in as an installer
does, and runs the `sqlcipher` shell on the same statements, alternating the
two (A B A B ...). Each process is timed from its start to its exit; its CPU
time (user + system) is the kernel's accounting of the finished child (wait4)
and its peak resident set what /usr/bin/time reports. Figures are medians over
the runs; the ratio Plinth / shell is taken pair by pair.

bench/run.sh installs what this needs, builds Plinth and calls this script;
run it with --help for the options.
"""

import argparse
import datetime
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from xml.etree import ElementTree

KEY = "bench-7f3a9c21e4b8"
PRODUCT = "BenchProduct"
# The settings of every database, in file order; Plinth applies them in name
# order, skipping "key".
SETTINGS = [("key", KEY), ("journal_mode", "WAL"), ("synchronous", "NORMAL"),
            ("cache_size", "-4000")]
SPECIAL = "event.s"
EXT_SUFFIX = ".so"
PUBLIC_EXT = "public.func.sqlite" + EXT_SUFFIX
OWN_EXT = "inventory.func.sqlite" + EXT_SUFFIX
MIB = 1024 * 1024

# ---------------------------------------------------------------------------
# Text of the generated files


def xml_escape(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace(
        '"', "&quot;")


def sqlite_config_xml(settings):
    lines = ['<?xml version="1.0" encoding="UTF-8"?>', "<Configs>"]
    for name, value in settings:
        lines.append(f'  <Config PRAGMA="{xml_escape(name)}" VALUE="{xml_escape(value)}"/>')
    lines.append("</Configs>")
    return "\n".join(lines) + "\n"


def db_config_xml(plugin, extra=""):
    """DBConfig.xml of `plugin`; `extra` is XML text placed inside SQLite."""
    out = ['<?xml version="1.0" encoding="UTF-8"?>', "<DBConfig>", f"  <{PRODUCT}>",
           "    <SQLite>", f"      <Schema>{plugin.schema}</Schema>",
           f"      <SQLiteFileName>{plugin.file}</SQLiteFileName>",
           f"      <LoadPublicFuncDLL>{1 if plugin.load_public else 0}</LoadPublicFuncDLL>"]
    if plugin.own_ext:
        out.append(f"      <SQLiteFuncDLL><Name>{plugin.own_ext}</Name></SQLiteFuncDLL>")
    if plugin.other:
        out.append("      <DBInitForOtherPlugins>")
        for identify, paths in plugin.other.items():
            out.append(f"        <Plugin><Identify>{identify}</Identify><SQLScript>")
            out.extend(f"          <Path>{p}</Path>" for p in paths)
            out.append("        </SQLScript></Plugin>")
        out.append("      </DBInitForOtherPlugins>")
    head = "\n".join(out) + "\n"
    tail = "    </SQLite>\n" f"  </{PRODUCT}>\n" "</DBConfig>\n"
    return head + extra + tail


def create_tables_sql(name):
    return (f"-- {name}: tables\n"
            "CREATE TABLE item (\n  id INTEGER PRIMARY KEY,\n  code TEXT NOT NULL UNIQUE,\n"
            "  label TEXT NOT NULL,\n  quantity INTEGER NOT NULL,\n  note TEXT\n);\n"
            "CREATE TABLE setting (name TEXT PRIMARY KEY, value TEXT NOT NULL);\n")


def row_sql(i, name):
    return (f"INSERT INTO item (id, code, label, quantity, note) VALUES ({i}, '{name}-{i:08d}', "
            f"'item number {i} of {name}', {i % 1000}, 'generated row for the benchmark');\n")


def write_init_data(path, name, rows=0, min_bytes=0):
    """An init_data.sql of `rows` rows (or at least `min_bytes` bytes) in one
    transaction. Returns the file's size."""
    with open(path, "w", encoding="utf-8") as f:
        f.write("BEGIN;\n")
        f.write(f"INSERT INTO setting (name, value) VALUES ('installed_by', '{name}');\n")
        i = 0
        written = 0
        chunk = []
        while i < rows or written < min_bytes:
            i += 1
            line = row_sql(i, name)
            written += len(line)
            chunk.append(line)
            if len(chunk) >= 10000:
                f.write("".join(chunk))
                chunk = []
        f.write("".join(chunk))
        f.write("COMMIT;\n")
    return os.path.getsize(path)


def event_types_sql(name):
    return ("INSERT INTO event_type (code, source, severity, description) VALUES\n"
            f"  ('{name}.started', '{name}', 'info', 'The plug-in started'),\n"
            f"  ('{name}.failed', '{name}', 'error', 'The plug-in failed');\n")


PUBLIC_DATA_SQL = """-- public.db: data every plug-in reads through the schema "public".
CREATE TABLE product_info (name TEXT PRIMARY KEY, value TEXT NOT NULL);
INSERT INTO product_info (name, value) VALUES
  ('product', 'BenchProduct'), ('installation_id', uuid()), ('created_at', utc_now());
"""

VERSION_SQL = """-- platform.db: the installed version.
CREATE TABLE product_version (component TEXT PRIMARY KEY, version TEXT NOT NULL,
                              installed_at TEXT NOT NULL);
INSERT INTO product_version VALUES ('BenchProduct', '1.0.0', utc_now());
"""

EVENT_TABLES_SQL = """-- event.db: event types and events.
CREATE TABLE event_type (code TEXT PRIMARY KEY, source TEXT NOT NULL, severity TEXT NOT NULL,
                         description TEXT NOT NULL);
CREATE TABLE event (event_id TEXT PRIMARY KEY, code TEXT NOT NULL REFERENCES event_type (code),
                    occurred_at TEXT NOT NULL, detail TEXT);
"""

PLATFORM_TABLES_SQL = """CREATE TABLE component (name TEXT PRIMARY KEY, state TEXT NOT NULL);
"""

# ---------------------------------------------------------------------------
# Product trees


class Plugin:
    def __init__(self, name, schema, file, load_public=True, own_ext="", rows=0, scripts=True):
        self.name = name
        self.schema = schema
        self.file = file
        self.load_public = load_public
        self.own_ext = own_ext
        self.rows = rows
        self.scripts = scripts
        # Its scripts are generated here, so their rows are known.
        self.generated = True
        self.other = {}  # identify -> script paths relative to the system directory
        self.init_bytes = 0

    @property
    def dir_name(self):
        return "SYS" if self.name == "platform" else self.name


class Tree:
    """A staged product: bin/ (Plinth and its settings), product/system/,
    data-p/ (Plinth's databases) and data-s/ (the shell's)."""

    def __init__(self, root, install_dir, keyed=True, settings=None):
        for ch in " \t'\"\\":
            if ch in root:
                sys.exit(f"bench: the work directory must not hold {ch!r}: {root}")
        self.root = root
        self.keyed = keyed
        settings = list(settings if settings is not None else SETTINGS)
        if not keyed:
            settings = [(n, v) for n, v in settings if n != "key"]
        self.settings = settings
        self.key = next((v for n, v in settings if n == "key"), KEY)
        self.bin = os.path.join(root, "bin")
        self.system = os.path.join(root, "product", "system")
        self.data_p = os.path.join(root, "data-p")
        self.data_s = os.path.join(root, "data-s")
        self.tmp = os.path.join(root, "tmp")
        self.plugins = {}
        shutil.rmtree(root, ignore_errors=True)
        shutil.copytree(install_dir, self.bin, symlinks=True)
        os.makedirs(self.system)
        os.makedirs(self.tmp)
        for lib in os.listdir(os.path.join(self.bin, "sqlite_ext")):
            shutil.move(os.path.join(self.bin, "sqlite_ext", lib), self.system)
        os.rmdir(os.path.join(self.bin, "sqlite_ext"))
        meta = os.path.join(self.bin, "META_INFO")
        write(os.path.join(meta, "InitSetup.xml"),
              '<?xml version="1.0" encoding="UTF-8"?>\n<Configs>\n'
              f"  <SQLiteDataPath>{self.data_p}</SQLiteDataPath>\n"
              f"  <SYSPath>{self.system}</SYSPath>\n</Configs>\n")
        self.write_settings(sqlite_config_xml(settings))
        props = os.path.join(meta, "plinth.log4cxx.properties")
        with open(props, encoding="utf-8") as f:
            text = f.read()
        lines = [("log4j.appender.file.File=" + os.path.join(root, "log", "plinth.log"))
                 if line.startswith("log4j.appender.file.File=") else line
                 for line in text.splitlines()]
        write(props, "\n".join(lines) + "\n")
        write(os.path.join(meta, "db_init", "SQLite", "create_public_data.sql"), PUBLIC_DATA_SQL)
        write(os.path.join(root, "product", "Product.xml"),
              '<?xml version="1.0" encoding="UTF-8"?>\n<ProductDescription>\n'
              f"  <Product>{PRODUCT}</Product>\n</ProductDescription>\n")
        write(os.path.join(self.system, "META_INFO", "ProductVersionToDB.sql"), VERSION_SQL)

    def write_settings(self, text):
        write(os.path.join(self.bin, "META_INFO", "SQLiteConf", "SQLiteConfig.xml"), text)

    def plugin_dir(self, plugin):
        return os.path.join(self.system, "META_INFO", plugin.dir_name, "runtime_script")

    def script_path(self, plugin, which):
        return os.path.join(self.plugin_dir(plugin), "db_init", "SQLite", which)

    def add(self, plugin, db_config_extra="", tables_sql=None):
        self.plugins[plugin.name] = plugin
        write(os.path.join(self.plugin_dir(plugin), "DBConfig.xml"),
              db_config_xml(plugin, db_config_extra))
        if plugin.scripts:
            write(self.script_path(plugin, "create_tables.sql"),
                  tables_sql if tables_sql is not None else create_tables_sql(plugin.name))
            plugin.init_bytes = write_init_data(self.script_path(plugin, "init_data.sql"),
                                                plugin.name, rows=plugin.rows)
        for paths in plugin.other.values():
            for rel in paths:
                write(os.path.join(self.system, rel), event_types_sql(plugin.name))
        return plugin

    def add_platform(self):
        self.add(Plugin("platform", "platform", "platform.db"),
                 tables_sql=create_tables_sql("platform") + PLATFORM_TABLES_SQL)
        self.add(Plugin(SPECIAL, "event", "event.db"),
                 tables_sql=create_tables_sql(SPECIAL) + EVENT_TABLES_SQL)

    def wipe(self, data_dir):
        shutil.rmtree(data_dir, ignore_errors=True)
        os.makedirs(data_dir)

    def remove_db(self, data_dir, plugin):
        for suffix in ("", "-shm", "-wal"):
            path = os.path.join(data_dir, plugin.file + suffix)
            if os.path.exists(path):
                os.remove(path)

    # --- the commands ------------------------------------------------------

    def plinth_command(self, plugin):
        return [os.path.join(self.bin, "Plinth"), plugin.name]

    def plinth_env(self):
        env = dict(os.environ)
        env["TMPDIR"] = self.tmp
        return env

    def shell_input(self, plugin, data_dir):
        """The shell's input that does what `Plinth <plugin>` does, statement
        for statement and in the same order, with the same connections open
        at the same time (the shell's `.connection`): every connection is
        prepared before any script runs; the platform's run keeps public.db's
        connection open to its end and builds event.db on the connection it
        built platform.db on, as Plinth does."""
        # Before the first database: SQLCipher's own log off, once a process
        # (Plinth does it on a connection of its own to ":memory:", which the
        # shell's first connection is until `.open`).
        lines = ["PRAGMA cipher_log_source = NONE;"]
        if plugin.name == "platform":
            public = os.path.join(data_dir, "public.db")
            lines += self.open_configured(public, True)
            lines.append(self.attach(public, "public"))
            lines.append(".load " + os.path.join(self.system, PUBLIC_EXT))
            lines.append(".connection 1")
            lines += self.prepare(data_dir, plugin, True)
            lines.append(".connection 0")
            lines.append(".read " + os.path.join(self.bin, "META_INFO", "db_init", "SQLite",
                                                 "create_public_data.sql"))
            lines.append(".connection 1")
            lines.append(".read " + os.path.join(self.system, "META_INFO",
                                                 "ProductVersionToDB.sql"))
            lines += self.own_scripts(plugin)
            # `.open` closes platform.db's connection, as Plinth closes it
            # before it builds a special plug-in's file.
            special = self.plugins[SPECIAL]
            lines += self.prepare(data_dir, special, True)
            lines += self.own_scripts(special)
            return lines
        lines += self.prepare(data_dir, plugin, True)
        other = (plugin.other.get(SPECIAL, [])
                 if plugin.name not in (SPECIAL, "platform", "deviceaccess.d") else [])
        if other:
            lines.append(".connection 1")
            lines += self.prepare(data_dir, self.plugins[SPECIAL], False)
            lines.append(".connection 0")
        lines += self.own_scripts(plugin)
        if other:
            lines.append(".connection 1")
            lines += [".read " + os.path.join(self.system, rel) for rel in other]
        return lines

    def open_configured(self, path, apply_pragmas):
        lines = [".open " + path]
        if self.keyed:
            lines.append("PRAGMA cipher_version;")
            lines.append("PRAGMA key = '%s';" % self.key.replace("'", "''"))
        if apply_pragmas:
            first = {}
            for name, value in self.settings:
                first.setdefault(name, value)
            for name in sorted(first, key=lambda n: n.encode()):
                if name == "key":
                    continue
                lines.append('PRAGMA "%s" = "%s";' % (name.replace('"', '""'),
                                                      first[name].replace('"', '""')))
        if self.keyed:
            lines.append("BEGIN IMMEDIATE; COMMIT;")
        return lines

    def attach(self, path, schema):
        sql = "ATTACH DATABASE '%s' AS %s" % (path.replace("'", "''"), schema)
        if self.keyed:
            sql += " KEY '%s'" % self.key.replace("'", "''")
        return sql + ";"

    def prepare(self, data_dir, plugin, apply_pragmas):
        path = os.path.join(data_dir, plugin.file)
        lines = self.open_configured(path, apply_pragmas)
        lines.append(self.attach(path, '"%s"' % plugin.schema.replace('"', '""')))
        lines.append(self.attach(os.path.join(data_dir, "public.db"), "public"))
        if plugin.name != "platform":
            lines.append(self.attach(os.path.join(data_dir, "platform.db"), "platform"))
        if plugin.load_public:
            lines.append(".load " + os.path.join(self.system, PUBLIC_EXT))
        if plugin.own_ext and os.path.exists(os.path.join(self.system, plugin.own_ext)):
            lines.append(".load " + os.path.join(self.system, plugin.own_ext))
        return lines

    def own_scripts(self, plugin):
        lines = []
        for which in ("create_tables.sql", "init_data.sql"):
            path = self.script_path(plugin, which)
            if os.path.exists(path):
                lines.append(".read " + path)
        return lines

    def write_shell_inputs(self):
        """Writes the shell's input file for every plug-in; returns name -> path."""
        inputs = {}
        for name, plugin in self.plugins.items():
            if name == SPECIAL:
                continue
            path = os.path.join(self.root, "shell-" + name + ".sql")
            write(path, "\n".join(self.shell_input(plugin, self.data_s)) + "\n")
            inputs[name] = path
        return inputs


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


TIME = "/usr/bin/time"
SHELL = ["sqlcipher", "-batch", "-bail", "-init", "/dev/null"]

# ---------------------------------------------------------------------------
# Measuring


class Run:
    """One process: wall seconds, user + system CPU seconds, peak RSS in KiB."""

    def __init__(self, wall, cpu, rss_kib):
        self.wall = wall
        self.cpu = cpu
        self.rss = rss_kib


def run_process(argv, stdin_path=None, env=None, what=""):
    """Runs `argv` to its end and returns its Run; exits when it fails.

    The command is started through /usr/bin/time, which reports the command's
    own peak RSS: a process started straight from this script would inherit
    the script's larger high-water mark. Wall time is taken around the whole
    start, the CPU time is the kernel's accounting of the finished child (its
    launcher's share is a fraction of a millisecond, the same for every
    command)."""
    with tempfile.TemporaryFile() as err, tempfile.NamedTemporaryFile("r") as rss, \
            (open(stdin_path, "rb") if stdin_path else open(os.devnull, "rb")) as stdin:
        start = time.perf_counter()
        proc = subprocess.Popen([TIME, "-f", "%M", "-o", rss.name] + argv, stdin=stdin,
                                stdout=subprocess.DEVNULL, stderr=err, env=env)
        _, status, usage = os.wait4(proc.pid, 0)
        wall = time.perf_counter() - start
        proc.returncode = os.waitstatus_to_exitcode(status)
        if proc.returncode != 0:
            err.seek(0)
            sys.exit(f"bench: {what or argv[0]} failed with exit code {proc.returncode}:\n"
                     + err.read().decode(errors="replace")[-2000:])
        peak_kib = int(rss.read().split()[-1])
    return Run(wall, usage.ru_utime + usage.ru_stime, peak_kib)


class Series:
    """Paired runs of A (Plinth) and B (the shell)."""

    def __init__(self):
        self.a = []
        self.b = []

    def add(self, a, b):
        self.a.append(a)
        self.b.append(b)

    @staticmethod
    def median(runs, field):
        return statistics.median(getattr(r, field) for r in runs)

    def ratio(self, field):
        return statistics.median(getattr(a, field) / getattr(b, field)
                                 for a, b in zip(self.a, self.b))


def combine(runs):
    """One Run for a sequence of processes: summed time, the largest peak."""
    return Run(sum(r.wall for r in runs), sum(r.cpu for r in runs), max(r.rss for r in runs))


def measure_product(tree, order, runs, warmup, log):
    """Builds the whole product `runs` times with each, A B A B, after
    `warmup` pairs that are not counted."""
    inputs = tree.write_shell_inputs()
    series = Series()
    for i in range(runs + warmup):
        tree.wipe(tree.data_p)
        a = combine([run_process(tree.plinth_command(tree.plugins[name]), env=tree.plinth_env(),
                                 what="Plinth " + name) for name in order])
        tree.wipe(tree.data_s)
        b = combine([run_process(SHELL, stdin_path=inputs[name], what="sqlcipher " + name)
                     for name in order])
        if i >= warmup:
            series.add(a, b)
            log(f"  run {i + 1 - warmup}: Plinth {a.wall:.3f} s, shell {b.wall:.3f} s")
    check_same_tables(tree, order)
    return series


def measure_one(tree, name, runs, warmup):
    """Builds the plug-in `name` of a product whose platform is built, `runs`
    times with each, A B A B, after `warmup` pairs that are not counted; the
    plug-in's own file is removed before every run, untimed."""
    inputs = tree.write_shell_inputs()
    plugin = tree.plugins[name]
    for data_dir, build in ((tree.data_p, lambda: run_process(
            tree.plinth_command(tree.plugins["platform"]), env=tree.plinth_env())),
                            (tree.data_s, lambda: run_process(SHELL, inputs["platform"]))):
        tree.wipe(data_dir)
        build()
    series = Series()
    for i in range(runs + warmup):
        tree.remove_db(tree.data_p, plugin)
        a = run_process(tree.plinth_command(plugin), env=tree.plinth_env(), what="Plinth " + name)
        tree.remove_db(tree.data_s, plugin)
        b = run_process(SHELL, stdin_path=inputs[name], what="sqlcipher " + name)
        if i >= warmup:
            series.add(a, b)
    check_same_tables(tree, [name])
    return series


def check_same_tables(tree, names):
    """Both sides must have built the same tables with the same rows."""
    for name in ["platform", SPECIAL] + list(names):
        plugin = tree.plugins.get(name)
        if plugin is None:
            continue
        if plugin.generated:
            sql = "SELECT type, name FROM sqlite_master ORDER BY name;\n"
            if plugin.scripts:
                sql += "SELECT count(*), sum(quantity) FROM item;\nSELECT * FROM setting;\n"
            if name == SPECIAL:
                sql += "SELECT code FROM event_type ORDER BY code;\n"
        else:
            sql = row_counts_sql(tree, os.path.join(tree.data_p, plugin.file))
        seen = [shell_query(tree, os.path.join(data_dir, plugin.file), sql)
                for data_dir in (tree.data_p, tree.data_s)]
        if seen[0] != seen[1] or any(ok is False for _, ok in seen):
            sys.exit(f"bench: Plinth and the shell built {plugin.file} differently:\n"
                     f"Plinth:\n{seen[0][0]}\nshell:\n{seen[1][0]}")


def shell_query(tree, path, sql):
    """What the sqlcipher shell prints for `sql` on the file at `path`, keyed
    as the tree's files are, and whether it succeeded."""
    # SQLCipher 4 answers the key pragma with a row "ok": it goes to
    # /dev/null, so that only the database's contents are compared.
    keying = (".output /dev/null\nPRAGMA key = '%s';\n.output\n" % tree.key.replace("'", "''")
              if tree.keyed else "")
    result = subprocess.run(["sqlcipher", "-batch", "-init", "/dev/null", path],
                            input=keying + sql, capture_output=True, text=True)
    return result.stdout + result.stderr, result.returncode == 0


def row_counts_sql(tree, path):
    """SQL that lists the schema of the file at `path` and counts the rows of
    each of its tables: the comparison of a product whose data is not known
    here (random and time values differ between the two sides)."""
    tables, _ = shell_query(tree, path, "SELECT name FROM sqlite_master WHERE type = 'table' "
                                        "ORDER BY name;\n")
    sql = "SELECT type, name FROM sqlite_master ORDER BY name;\n"
    for table in tables.split():
        sql += "SELECT '%s', count(*) FROM \"%s\";\n" % (table, table.replace('"', '""'))
    return sql


# ---------------------------------------------------------------------------
# Scenarios


def product_tree(root, install_dir, plugins, rows, keyed=True):
    """The platform, event.s and `plugins` ordinary plug-ins of `rows` rows;
    every fourth loads an extension library of its own, every third from the
    first runs a script in event.db."""
    tree = Tree(root, install_dir, keyed=keyed)
    tree.add_platform()
    for i in range(1, plugins + 1):
        name = f"p{i:02d}"
        plugin = Plugin(name, name, name + ".db", rows=rows, own_ext=OWN_EXT if i % 4 == 0 else "")
        if i % 3 == 1:
            plugin.other[SPECIAL] = [f"META_INFO/{name}/runtime_script/db_init/SQLite/"
                                     "event_types.sql"]
        tree.add(plugin)
    return tree


REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SAMPLE = os.path.join(REPO, "sample")


def read_settings(path):
    """The (PRAGMA, VALUE) pairs of a SQLiteConfig.xml, in file order."""
    root = ElementTree.parse(path).getroot()
    return [(c.get("PRAGMA", ""), c.get("VALUE", "")) for c in root.findall("Config")]


def plugin_from_db_config(name, path):
    """The Plugin that the DBConfig.xml at `path` describes (its first
    product type's)."""
    sqlite = ElementTree.parse(path).getroot().find("./*/SQLite")
    plugin = Plugin(name, sqlite.findtext("Schema").strip(),
                    sqlite.findtext("SQLiteFileName").strip(),
                    load_public=sqlite.findtext("LoadPublicFuncDLL", "0").strip() == "1",
                    own_ext=(sqlite.findtext("SQLiteFuncDLL/Name") or "").strip())
    plugin.generated = False
    for other in sqlite.findall("DBInitForOtherPlugins/Plugin"):
        plugin.other[other.findtext("Identify").strip()] = [
            path.text.strip() for path in other.findall("SQLScript/Path")]
    return plugin


def sample_tree(root, install_dir):
    """The sample product of sample/ (the platform, event.s, audit and
    inventory, each with its scripts), staged as scripts/run-sample.sh does."""
    settings = read_settings(os.path.join(SAMPLE, "bin", "META_INFO", "SQLiteConf",
                                          "SQLiteConfig.xml"))
    tree = Tree(root, install_dir, settings=settings)
    shutil.copytree(os.path.join(SAMPLE, "product"), os.path.join(root, "product"),
                    dirs_exist_ok=True)
    shutil.copytree(os.path.join(SAMPLE, "bin", "META_INFO"), os.path.join(tree.bin, "META_INFO"),
                    dirs_exist_ok=True)
    meta = os.path.join(tree.system, "META_INFO")
    for entry in sorted(os.listdir(meta)):
        config = os.path.join(meta, entry, "runtime_script", "DBConfig.xml")
        if os.path.exists(config):
            name = "platform" if entry == "SYS" else entry
            tree.plugins[name] = plugin_from_db_config(name, config)
    return tree


def fmt_ms(seconds):
    return f"{seconds * 1000:.1f}"


def fmt_mib(kib):
    return f"{kib / 1024:.1f}"


TABLE_HEAD = ["| case | side | wall ms, median (min-max) | CPU ms | peak RSS MiB |",
              "|---|---|---|---|---|"]


def series_rows(label, series):
    """Table rows of one series: Plinth, the shell, and the pairwise ratios
    (median, with the spread of the wall-time ratio)."""
    rows = []
    for side, runs in (("Plinth", series.a), ("shell", series.b)):
        walls = [r.wall for r in runs]
        rows.append(f"| {label if side == 'Plinth' else ''} | {side} | "
                    f"{fmt_ms(statistics.median(walls))} ({fmt_ms(min(walls))}-"
                    f"{fmt_ms(max(walls))}) | {fmt_ms(Series.median(runs, 'cpu'))} | "
                    f"{fmt_mib(Series.median(runs, 'rss'))} |")
    ratios = [a.wall / b.wall for a, b in zip(series.a, series.b)]
    rows.append(f"| | Plinth / shell | {statistics.median(ratios):.3f} ({min(ratios):.3f}-"
                f"{max(ratios):.3f}) | {series.ratio('cpu'):.3f} | {series.ratio('rss'):.3f} |")
    return rows


# ---------------------------------------------------------------------------
# The parts of a run; each returns its lines of the report.


def part_product(args, log):
    log(f"== whole product: platform, {SPECIAL} and {args.plugins} plug-ins of {args.rows} "
        f"rows, keyed, {args.runs} runs")
    tree = product_tree(os.path.join(args.work, "product"), args.install, args.plugins,
                        args.rows)
    order = ["platform"] + [f"p{i:02d}" for i in range(1, args.plugins + 1)]
    series = measure_product(tree, order, args.runs, args.warmup, log)
    shutil.rmtree(tree.root)
    return [f"### Whole product: platform, {SPECIAL} and {args.plugins} plug-ins of "
            f"{args.rows} rows, keyed ({args.runs} runs; one process per plug-in, times "
            "summed, the largest peak)", ""] + TABLE_HEAD + series_rows("whole product",
                                                                       series) + [""]


def part_startup(args, log):
    log(f"== start-up: one plug-in without scripts, keyed and unkeyed, {args.startup_runs} runs")
    report = [f"### Start-up: one plug-in without scripts ({args.startup_runs} runs)", ""]
    report += TABLE_HEAD
    for keyed in (True, False):
        label = "keyed" if keyed else "unkeyed"
        tree = Tree(os.path.join(args.work, "startup-" + label), args.install, keyed=keyed)
        tree.add_platform()
        tree.add(Plugin("empty", "empty", "empty.db", scripts=False))
        series = measure_one(tree, "empty", args.startup_runs, args.warmup)
        diffs = sorted(a.wall - b.wall for a, b in zip(series.a, series.b))
        cpu_diffs = [a.cpu - b.cpu for a, b in zip(series.a, series.b)]
        report += series_rows(label, series)
        report.append(f"| | Plinth - shell, pairwise | {fmt_ms(statistics.median(diffs))} "
                      f"({fmt_ms(diffs[0])} to {fmt_ms(diffs[-1])}) | "
                      f"{fmt_ms(statistics.median(cpu_diffs))} | |")
        log(f"  {label}: Plinth {fmt_ms(Series.median(series.a, 'wall'))} ms, shell "
            f"{fmt_ms(Series.median(series.b, 'wall'))} ms")
        shutil.rmtree(tree.root)
    return report + [""]


# Programs that load what Plinth loads and do nothing else: what a process
# pays before Plinth's own code runs. Each step adds one thing to the one
# before it: the C library and SQLCipher's shared library (which the shell
# does not load: it has SQLCipher built in), then libstdc++, then log4cxx
# with its chain (APR, APR-util, expat, libcrypt, libuuid), then log4cxx
# configured from Plinth's properties file and writing 17 lines, as Plinth's
# run of a plug-in without scripts does.
FLOOR_PROGRAMS = [
    ("C, SQLCipher", "floor-c.c", ["gcc"], ["-lsqlcipher"], r"""
#include <sqlcipher/sqlite3.h>
int main(int argc, char** argv) { (void)argv; if (argc > 9) sqlite3_initialize(); return 0; }
"""),
    ("+ libstdc++", "floor-cxx.cpp", ["g++"], ["-lsqlcipher"], r"""
#include <sqlcipher/sqlite3.h>
#include <iostream>
#include <string>
int main(int argc, char** argv) {
  if (argc > 9) { sqlite3_initialize(); std::cout << std::string(argv[0]); }
  return 0;
}
"""),
    ("+ log4cxx, not used", "floor-log4cxx.cpp", ["g++"], ["-lsqlcipher", "-llog4cxx"], r"""
#include <sqlcipher/sqlite3.h>
#include <log4cxx/logger.h>
int main(int argc, char** argv) {
  (void)argv;
  if (argc > 9) { sqlite3_initialize(); log4cxx::Logger::getRootLogger(); }
  return 0;
}
"""),
    ("+ configured, 17 lines", "floor-configured.cpp", ["g++"], ["-lsqlcipher", "-llog4cxx"], r"""
#include <sqlcipher/sqlite3.h>
#include <log4cxx/logger.h>
#include <log4cxx/propertyconfigurator.h>
#include <clocale>
int main(int argc, char** argv) {
  if (argc > 9) sqlite3_initialize();
  std::setlocale(LC_CTYPE, "");
  std::setlocale(LC_CTYPE, "C.UTF-8");
  log4cxx::PropertyConfigurator::configure(log4cxx::File(argv[1]));
  const log4cxx::LoggerPtr logger = log4cxx::Logger::getLogger("PLINTH");
  for (int i = 0; i < 17; ++i) {
    logger->log(log4cxx::Level::getInfo(),
                "[plinth::CInitDBManager::CreateSQLiteDBFile]conf_sql:PRAGMA \"journal_mode\" "
                "= \"WAL\";.[InitDBManager.cpp(256)]");
  }
  return 0;
}
"""),
]


def part_floor(args, log):
    log(f"== floor: what loading Plinth's libraries costs, {args.startup_runs} runs")
    root = os.path.join(args.work, "floor")
    tree = Tree(os.path.join(root, "tree"), args.install, keyed=False)
    props = os.path.join(tree.bin, "META_INFO", "plinth.log4cxx.properties")
    commands = []
    for label, source, compiler, libs, text in FLOOR_PROGRAMS:
        path = os.path.join(root, source)
        write(path, text.lstrip())
        exe = os.path.splitext(path)[0]
        subprocess.run(compiler + ["-O2", path, "-o", exe] + libs, check=True)
        commands.append((label, [exe, props]))
    runs = {label: [] for label, _ in commands}
    for i in range(args.startup_runs + args.warmup):
        for label, argv in commands:
            run = run_process(argv, what=label)
            if i >= args.warmup:
                runs[label].append(run)
    report = [f"### Floor: loading Plinth's libraries ({args.startup_runs} runs, in turn)", "",
              "| program | wall ms | CPU ms | CPU ms more than the step before | peak RSS MiB |",
              "|---|---|---|---|---|"]
    before = None
    for label, _ in commands:
        cpu = Series.median(runs[label], "cpu")
        step = "" if before is None else fmt_ms(cpu - before)
        report.append(f"| {label} | {fmt_ms(Series.median(runs[label], 'wall'))} | "
                      f"{fmt_ms(cpu)} | {step} | {fmt_mib(Series.median(runs[label], 'rss'))} |")
        before = cpu
    shutil.rmtree(root)
    return report + [""]


def part_rows(args, log):
    log(f"== rows: one keyed plug-in, M = {args.sweep}, {args.sweep_runs} runs each")
    report = [f"### Time against rows M: one keyed plug-in ({args.sweep_runs} runs each)", ""]
    report += TABLE_HEAD
    points = []
    for rows in args.sweep:
        tree = Tree(os.path.join(args.work, f"rows-{rows}"), args.install)
        tree.add_platform()
        plugin = tree.add(Plugin("rows", "rows", "rows.db", rows=rows))
        series = measure_one(tree, "rows", args.sweep_runs, args.warmup)
        report += series_rows(f"M = {rows} ({plugin.init_bytes / MIB:.1f} MiB)", series)
        points.append((rows, Series.median(series.a, "wall"), Series.median(series.b, "wall"),
                       Series.median(series.a, "cpu"), Series.median(series.b, "cpu")))
        log(f"  M = {rows}: Plinth {fmt_ms(points[-1][1])} ms, shell {fmt_ms(points[-1][2])} ms")
        shutil.rmtree(tree.root)
    data = os.path.join(args.out, "rows.dat")
    with open(data, "w", encoding="utf-8") as f:
        f.write("# rows, median wall s (Plinth, shell), median CPU s (Plinth, shell)\n")
        for point in points:
            f.write(" ".join(str(x) for x in point) + "\n")
    plot(data, os.path.join(args.out, "rows.png"))
    return report + ["", "Plot: rows.png (median wall time against M)", ""]


def plot(data, png):
    script = f"""set terminal png size 800,500 noenhanced
set output '{png}'
set title 'One keyed plug-in: wall time against the rows of its init_data.sql'
set xlabel 'rows M (one transaction)'
set ylabel 'median wall time, ms'
set key left top
set grid
set xrange [0:*]
set yrange [0:*]
plot '{data}' using 1:($2*1000) with linespoints title 'Plinth', \\
     '' using 1:($3*1000) with linespoints title 'sqlcipher shell'
"""
    subprocess.run(["gnuplot"], input=script, text=True, check=True)


def part_big(args, log):
    log(f"== big script: one keyed plug-in, init_data.sql of {args.big_mb} MiB, "
        f"{args.big_runs} runs")
    tree = Tree(os.path.join(args.work, "big"), args.install)
    tree.add_platform()
    plugin = tree.add(Plugin("big", "big", "big.db", scripts=False))
    write(tree.script_path(plugin, "create_tables.sql"), create_tables_sql("big"))
    size = write_init_data(tree.script_path(plugin, "init_data.sql"), "big",
                           min_bytes=int(args.big_mb * MIB))
    plugin.scripts = True
    series = measure_one(tree, "big", args.big_runs, 0)
    shutil.rmtree(tree.root)
    peak = Series.median(series.a, "rss")
    log(f"  Plinth peak {fmt_mib(peak)} MiB for a {size / MIB:.1f} MiB script")
    return [f"### One keyed plug-in with a {size / MIB:.1f} MiB init_data.sql "
            f"({args.big_runs} runs)", ""] + TABLE_HEAD + series_rows("big script", series) + [
                f"| | Plinth's peak RSS - script size | {fmt_mib(peak - size / 1024)} MiB | | |",
                ""]


def files_keyed(tree, name):
    """How many database files the run of `name` keys: the floor of its key
    derivations, one a file."""
    if name == "platform":
        return 2 + len([n for n in tree.plugins if n == SPECIAL])
    plugin = tree.plugins[name]
    opens_special = SPECIAL in plugin.other and name not in (SPECIAL, "deviceaccess.d")
    return 3 + (1 if opens_special else 0)


def measure_derive_case(tree, names, fresh, runs, warmup, counter):
    """Runs `names` one after another, Plinth and the shell in turn (A B A B),
    `runs` times after `warmup` pairs that are not counted; then once more
    each with the derivation counter. Each run starts from an empty data
    directory when `fresh`, else from one the platform's run has built.
    Returns the series and the derivations of each side."""
    inputs = tree.write_shell_inputs()
    sides = ((tree.data_p, lambda name: (tree.plinth_command(tree.plugins[name]), None,
                                         tree.plinth_env(), "Plinth " + name)),
             (tree.data_s, lambda name: (SHELL, inputs[name], None, "sqlcipher " + name)))
    snapshots = {}
    if not fresh:
        for data_dir, command in sides:
            tree.wipe(data_dir)
            run_process(*command("platform"))
            snapshots[data_dir] = data_dir + ".platform"
            shutil.rmtree(snapshots[data_dir], ignore_errors=True)
            shutil.copytree(data_dir, snapshots[data_dir])

    def reset(data_dir):
        tree.wipe(data_dir)
        if data_dir in snapshots:
            shutil.rmtree(data_dir)
            shutil.copytree(snapshots[data_dir], data_dir)

    series = Series()
    for i in range(runs + warmup):
        pair = []
        for data_dir, command in sides:
            reset(data_dir)
            pair.append(combine([run_process(*command(name)) for name in names]))
        if i >= warmup:
            series.add(*pair)
    derivations = []
    for data_dir, command in sides:
        reset(data_dir)
        derivations.append(sum(count_kdf(argv, counter, env=env, stdin_path=stdin)
                               for argv, stdin, env, _ in map(command, names)))
    check_same_tables(tree, names)
    for snapshot in snapshots.values():
        shutil.rmtree(snapshot)
    return series, derivations


def part_derive(args, log):
    log(f"== key derivations and time against the shell: a plug-in, the platform, the sample "
        f"product, {args.derive_runs} runs")
    counter = build_counter(args.work)
    tree = product_tree(os.path.join(args.work, "derive"), args.install, 2, args.rows)
    sample = sample_tree(os.path.join(args.work, "derive-sample"), args.install)
    cases = [
        ("an ordinary plug-in", tree, ["p02"], False),
        ("an ordinary plug-in with a script for event.s", tree, ["p01"], False),
        ("the platform", tree, ["platform"], True),
        ("the platform, then a plug-in with a script for event.s", tree, ["platform", "p01"],
         True),
        ("the sample product: platform, audit, inventory (sample/)", sample,
         ["platform", "audit", "inventory"], True),
    ]
    report = [f"### Key derivations and time against the shell ({args.derive_runs} runs; "
              f"plug-ins of the generated product with {args.rows} rows)", "",
              "Derivations are PBKDF2 calls with the full work factor, counted by "
              "tests/support/kdf_counter.c preloaded; the floor is one for each database file "
              "a run keys. Times are medians, ratios pair by pair.", "",
              "| run | floor | derivations: Plinth | shell | wall ms: Plinth | shell | "
              "Plinth / shell | CPU ms: Plinth | shell | Plinth / shell |",
              "|---|---|---|---|---|---|---|---|---|---|"]
    for label, case_tree, names, fresh in cases:
        series, (a, b) = measure_derive_case(case_tree, names, fresh, args.derive_runs,
                                             args.warmup, counter)
        floor = sum(files_keyed(case_tree, name) for name in names)
        walls = [x.wall / y.wall for x, y in zip(series.a, series.b)]
        report.append(
            f"| {label} | {floor} | {a} | {b} | {fmt_ms(Series.median(series.a, 'wall'))} | "
            f"{fmt_ms(Series.median(series.b, 'wall'))} | {statistics.median(walls):.3f} "
            f"({min(walls):.3f}-{max(walls):.3f}) | {fmt_ms(Series.median(series.a, 'cpu'))} | "
            f"{fmt_ms(Series.median(series.b, 'cpu'))} | {series.ratio('cpu'):.3f} |")
        log(f"  {label}: derivations {a} / {b} (floor {floor}), wall ratio "
            f"{statistics.median(walls):.3f}")
    shutil.rmtree(tree.root)
    shutil.rmtree(sample.root)
    return report + [""]


def part_xml(args, log):
    """Plinth alone on configuration files of growing size: an unkeyed
    product, one plug-in without scripts."""
    log("== configuration files of growing size")
    report = ["### Configuration files of growing size (Plinth alone, unkeyed, one plug-in "
              f"without scripts; median of {args.xml_runs} runs)", "",
              "| file | size MiB | wall ms | CPU ms | peak RSS MiB |", "|---|---|---|---|---|"]

    def xml_tree(name):
        tree = Tree(os.path.join(args.work, name), args.install, keyed=False)
        tree.add_platform()
        tree.wipe(tree.data_p)
        run_process(tree.plinth_command(tree.plugins["platform"]), env=tree.plinth_env())
        return tree

    def measure(tree, plugin, runs):
        results = []
        warmup = args.warmup if runs > 1 else 0
        for i in range(runs + warmup):
            tree.remove_db(tree.data_p, plugin)
            run = run_process(tree.plinth_command(plugin), env=tree.plinth_env(),
                              what="Plinth " + plugin.name)
            if i >= warmup:
                results.append(run)
        shutil.rmtree(tree.root)
        return [Series.median(results, field) for field in ("wall", "cpu", "rss")]

    def row(label, size, figures, note=""):
        wall, cpu, rss = figures
        report.append(f"| {label} | {size / MIB:.2f} | {fmt_ms(wall)} | {fmt_ms(cpu)} | "
                      f"{fmt_mib(rss)}{note} |")
        log(f"  {label}: {fmt_ms(wall)} ms, {fmt_mib(rss)} MiB")

    for count in args.xml_configs:
        tree = xml_tree(f"xml-config-{count}")
        plugin = tree.add(Plugin("plain", "plain", "plain.db", scripts=False))
        # Every element names one of the three ordinary settings, so SQLite's
        # work stays the same (the first of a name counts) while the file grows.
        names = [(n, v) for n, v in SETTINGS if n != "key"]
        text = sqlite_config_xml([names[i % len(names)] for i in range(count)])
        tree.write_settings(text)
        row(f"SQLiteConfig.xml, {count} Config", len(text),
            measure(tree, plugin, args.xml_runs))

    for count in args.xml_plugins:
        tree = xml_tree(f"xml-dbinit-{count}")
        plugin = Plugin("plain", "plain", "plain.db", scripts=False)
        # Entries for plug-ins that are not special: read and stored, never run.
        entries = "".join(
            f"        <Plugin><Identify>other{i}</Identify><SQLScript>"
            f"<Path>META_INFO/plain/other{i}/a.sql</Path>"
            f"<Path>META_INFO/plain/other{i}/b.sql</Path></SQLScript></Plugin>\n"
            for i in range(1, count + 1))
        tree.add(plugin, db_config_extra="      <DBInitForOtherPlugins>\n" + entries +
                 "      </DBInitForOtherPlugins>\n")
        size = os.path.getsize(os.path.join(tree.plugin_dir(plugin), "DBConfig.xml"))
        row(f"DBConfig.xml, {count} DBInitForOtherPlugins/Plugin", size,
            measure(tree, plugin, args.xml_runs))

    if args.xml_mb > 0:
        # Small elements under another product type's element: Plinth reads
        # only its own product's, so what grows is the document alone.
        for shape, element in (("small elements", "<Path>META_INFO/plain/db/x.sql</Path>"),
                               ("tiny elements", "<P>1</P>")):
            tree = xml_tree("xml-big")
            plugin = tree.add(Plugin("plain", "plain", "plain.db", scripts=False))
            path = os.path.join(tree.plugin_dir(plugin), "DBConfig.xml")
            head = db_config_xml(plugin).replace("</DBConfig>\n", "")
            block = ("    " + element + "\n") * 10000
            with open(path, "w", encoding="utf-8") as f:
                f.write(head + "  <OtherProduct>\n")
                written = len(head)
                while written < args.xml_mb * MIB:
                    f.write(block)
                    written += len(block)
                f.write("  </OtherProduct>\n</DBConfig>\n")
            size = os.path.getsize(path)
            figures = measure(tree, plugin, 1)
            row(f"DBConfig.xml of {shape}, `{element}` a line", size, figures,
                f" = {figures[2] * 1024 / size:.2f} x the file")
    return report + [""]


# ---------------------------------------------------------------------------
# Where the time goes

# SQLCipher 4 and Plinth derive a key with OpenSSL's PKCS5_PBKDF2_HMAC (the
# digest an argument: SHA512 by default).
KDF = "PKCS5_PBKDF2_HMAC"
# The counter of the test support: preloaded into a process, it counts the
# calls of PBKDF2 with more than 100 iterations (SQLCipher derives the key of
# the page HMAC from a key with 2: that is no key derivation).
COUNTER_SOURCE = os.path.join(REPO, "tests", "support", "kdf_counter.c")
# Shared objects that are Plinth's own code or linked in for it; the shell
# loads none of them.
PLINTH_OBJECTS = ("Plinth", "libstdc++", "liblog4cxx", "libapr", "libpugixml", "libboost",
                  "libexpat", "libgcc_s", "libm.so", "libuuid", "libcrypt.so")


def build_counter(work):
    """Compiles the derivation counter into `work` (once); returns its path."""
    out = os.path.join(work, "kdf_counter.so")
    if not os.path.exists(out):
        subprocess.run(["gcc", "-O2", "-shared", "-fPIC", COUNTER_SOURCE, "-o", out, "-ldl"],
                       check=True)
    return out


def count_kdf(argv, counter, env=None, stdin_path=None):
    """Counts the key derivations of one run of `argv`, with the counter
    `counter` preloaded: the calls of PBKDF2 with the full work factor."""
    with tempfile.TemporaryDirectory() as scratch, \
            (open(stdin_path, "rb") if stdin_path else open(os.devnull, "rb")) as stdin:
        counts = os.path.join(scratch, "counts")
        env = dict(env if env is not None else os.environ)
        env.update(LD_PRELOAD=counter, PLINTH_KDF_COUNT_FILE=counts)
        subprocess.run(argv, stdin=stdin, env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True)
        if not os.path.exists(counts):
            return 0
        with open(counts, encoding="utf-8") as f:
            return sum(1 for _ in f)


FREQUENCY = 5000  # samples a second of CPU time

KDF_SHARE = "SQLCipher's key derivation (PBKDF2-HMAC-SHA512 in libcrypto, with what it calls)"
# OpenSSL's SHA-512 assembly for AVX2 realigns the stack, and perf cannot
# unwind a sample taken in it: such a sample is one frame in libcrypto, with
# no symbol (the function is not exported). The key derivation and the page
# HMACs both run it; by the amount hashed nearly all of it is the derivation
# (256,000 iterations of HMAC-SHA512 against one HMAC of each 4 KiB page).
LOST_SHARE = ("libcrypto, call chain lost (SHA-512 assembly: nearly all the key derivation's, "
              "some the page HMACs')")
SQLITE_SHARE = "SQLite's own work (libsqlcipher; libcrypto's page encryption)"
PLINTH_SHARE = "Plinth's own code (Plinth, libstdc++, log4cxx, APR, expat, ...)"
# Debian's sqlcipher shell of SQLCipher 4 has SQLCipher built in rather than
# linking libsqlcipher, so its SQLite work is in its own executable.
SHELL_SHARE = "the shell's executable (its own code and its built-in SQLite), readline"
LIBC_SHARE = "C library and dynamic loader"
KERNEL_SHARE = "kernel (exec, page faults, system calls)"
UNRESOLVED_SHARE = "frames perf could not resolve"
SHARES = (KDF_SHARE, LOST_SHARE, SQLITE_SHARE, PLINTH_SHARE, SHELL_SHARE, LIBC_SHARE,
          KERNEL_SHARE, UNRESOLVED_SHARE)


def frame_dso(frame):
    return os.path.basename(frame.rsplit("(", 1)[-1].rstrip(")"))


def share_of(frames):
    """The share of SHARES a sample counts for: the key derivation when its
    call chain passes through it, wherever its own frame lies (the derivation
    spends time in libc's memory functions too); a lost chain in libcrypto's
    unnamed code on its own; else by the shared object of its own frame."""
    if any(f" {KDF}" in frame for frame in frames):
        return KDF_SHARE
    if (len(frames) == 1 and " [unknown] " in frames[0]
            and frame_dso(frames[0]).startswith("libcrypto")):
        return LOST_SHARE
    # An inlined frame names no object; the frame of its caller does.
    own = next((f for f in frames if not f.endswith("(inlined)")), frames[0])
    dso = frame_dso(own)
    if dso.startswith(("libcrypto", "libsqlcipher")):
        return SQLITE_SHARE
    if dso.startswith(PLINTH_OBJECTS):
        return PLINTH_SHARE
    if dso.startswith(("sqlcipher", "libreadline", "libtinfo")):
        return SHELL_SHARE
    if dso.startswith(("libc.so", "ld-linux", "libpthread", "libdl", "[vdso]")):
        return LIBC_SHARE
    if dso.startswith("[kernel"):
        return KERNEL_SHARE
    return UNRESOLVED_SHARE


def perf_profile(argv, env, stdin_path, data):
    """Samples one run of `argv` with `perf record` (software clock, DWARF call
    chains); returns the number of samples of each share."""
    with (open(stdin_path, "rb") if stdin_path else open(os.devnull, "rb")) as stdin:
        subprocess.run(["perf", "record", "-q", "-e", "cpu-clock", "-F", str(FREQUENCY),
                        "--call-graph", "dwarf,8192", "-o", data, "--"] + argv, env=env,
                       stdin=stdin, check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    script = subprocess.run(["perf", "script", "-i", data, "-F", "ip,sym,dso"],
                            capture_output=True, text=True, check=True).stdout
    split = dict.fromkeys(SHARES, 0)
    for sample in script.split("\n\n"):
        frames = [line.strip() for line in sample.splitlines() if line.strip()]
        if frames:
            split[share_of(frames)] += 1
    return split


def part_profile(args, log):
    log("== profile")
    report = ["### Where the time of a run goes", ""]
    tree = product_tree(os.path.join(args.work, "profile"), args.install, 2, args.rows)
    inputs = tree.write_shell_inputs()
    tree.wipe(tree.data_p)
    tree.wipe(tree.data_s)
    counts = []
    counter = build_counter(args.work)
    for name, label in (("platform", "platform (public.db, platform.db and event.db)"),
                        ("p02", "an ordinary plug-in"),
                        ("p01", "an ordinary plug-in with a script for event.s")):
        counts.append((label, count_kdf(tree.plinth_command(tree.plugins[name]), counter,
                                        env=tree.plinth_env()),
                       count_kdf(SHELL, counter, stdin_path=inputs[name])))
    report += ["Key derivations per run (PBKDF2 calls with the full work factor, counted by "
               "tests/support/kdf_counter.c preloaded):", "", "| run | Plinth | shell |",
               "|---|---|---|"]
    report += [f"| {label} | {a} | {b} |" for label, a, b in counts] + [""]
    log("  key derivations: " + ", ".join(f"{label}: {a} / {b}" for label, a, b in counts))

    for keyed in (True, False):
        label = "keyed" if keyed else "unkeyed"
        if not keyed:
            tree = product_tree(os.path.join(args.work, "profile-u"), args.install, 2, args.rows,
                                keyed=False)
            inputs = tree.write_shell_inputs()
            tree.wipe(tree.data_p)
            tree.wipe(tree.data_s)
            run_process(tree.plinth_command(tree.plugins["platform"]), env=tree.plinth_env())
            run_process(SHELL, stdin_path=inputs["platform"])
        plugin = tree.plugins["p02"]
        sides = {"Plinth": dict.fromkeys(SHARES, 0), "shell": dict.fromkeys(SHARES, 0)}
        data = os.path.join(args.work, "perf.data")
        for _ in range(args.profile_runs):
            tree.remove_db(tree.data_p, plugin)
            for key, n in perf_profile(tree.plinth_command(plugin), tree.plinth_env(), None,
                                       data).items():
                sides["Plinth"][key] += n
            tree.remove_db(tree.data_s, plugin)
            for key, n in perf_profile(SHELL, None, inputs[plugin.name], data).items():
                sides["shell"][key] += n
        total = sum(sides["Plinth"].values())
        per_run = 1000.0 / FREQUENCY / args.profile_runs  # ms of CPU a sample stands for
        report += [f"`perf record` of `Plinth {plugin.name}` and of the shell doing the same "
                   f"({label}, {args.rows} rows; {args.profile_runs} runs each, software clock "
                   f"at {FREQUENCY // 1000} kHz, {total} samples of Plinth):", "",
                   "| share of the run | Plinth, percent | Plinth, ms a run | shell, ms a run |",
                   "|---|---|---|---|"]
        for key in SHARES:
            a, b = sides["Plinth"][key], sides["shell"][key]
            if a or b:
                report.append(f"| {key} | {100 * a / total:.1f} | {a * per_run:.1f} | "
                              f"{b * per_run:.1f} |")
        report.append(f"| all | 100 | {total * per_run:.1f} | "
                      f"{sum(sides['shell'].values()) * per_run:.1f} |")
        report.append("")
        log(f"  profile ({label}): " + ", ".join(
            f"{100 * v / total:.1f} %" for v in sides["Plinth"].values()))
    return report


# ---------------------------------------------------------------------------

PARTS = {"product": part_product, "derive": part_derive, "startup": part_startup,
         "rows": part_rows, "big": part_big, "xml": part_xml, "profile": part_profile,
         "floor": part_floor}


def machine():
    cpu = ""
    with open("/proc/cpuinfo", encoding="utf-8") as f:
        for line in f:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    mem = os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") / 2**30
    # "3.46.1 2024-08-13 ... (64-bit) (SQLCipher 4.6.1 community)"
    shell = subprocess.run(["sqlcipher", "-version"], capture_output=True, text=True).stdout
    cipher = re.search(r"\(SQLCipher [^)]*\)", shell)
    return (f"{os.cpu_count()} cores ({cpu or platform.processor()}), {mem:.0f} GiB, "
            f"{platform.system()} {platform.release()}; sqlcipher shell: SQLite "
            f"{shell.split()[0]} {cipher.group(0) if cipher else '(SQLCipher version unknown)'}")


def load():
    return " ".join(f"{x:.2f}" for x in os.getloadavg())


def main():
    parser = argparse.ArgumentParser(
        description=__doc__.split("\n\n")[0],
        epilog="bench/run.sh fills in --install, --work, --out and --command, and takes "
        "--smoke for tiny sizes; every other option is passed on.")
    parser.add_argument("--install", required=True,
                        help="directory laid out by `cmake --install` (Plinth and its settings)")
    parser.add_argument("--work", required=True, help="scratch directory, wiped")
    parser.add_argument("--out", required=True, help="directory for the results")
    parser.add_argument("--command", default="", help="the command line, for the report")
    parser.add_argument("--only", default="",
                        help="comma-separated parts to run: " + ", ".join(PARTS))
    parser.add_argument("--xml", action="store_true",
                        help="also measure configuration files of growing size")
    parser.add_argument("--profile", action="store_true",
                        help="also profile one plug-in's run and count key derivations")
    parser.add_argument("--warmup", type=int, default=1,
                        help="uncounted runs (pairs) before the counted ones (default 1)")
    parser.add_argument("--plugins", type=int, default=6,
                        help="ordinary plug-ins of the whole product (default 6)")
    parser.add_argument("--rows", type=int, default=2000,
                        help="rows of each plug-in's init_data.sql (default 2000)")
    parser.add_argument("--runs", type=int, default=5, help="whole-product runs (default 5)")
    parser.add_argument("--derive-runs", type=int, default=5,
                        help="runs of each case of the key derivations (default 5)")
    parser.add_argument("--startup-runs", type=int, default=15,
                        help="runs of the start-up cases (default 15)")
    parser.add_argument("--sweep", default="0,20000,40000,80000",
                        help="the rows M of the plot (default 0,20000,40000,80000)")
    parser.add_argument("--sweep-runs", type=int, default=3,
                        help="runs of every M (default 3)")
    parser.add_argument("--big-mb", type=float, default=32,
                        help="MiB of the big init_data.sql (default 32)")
    parser.add_argument("--big-runs", type=int, default=1,
                        help="runs of the big script (default 1)")
    parser.add_argument("--xml-configs", default="5000,10000,40000",
                        help="Config elements of SQLiteConfig.xml (default 5000,10000,40000)")
    parser.add_argument("--xml-plugins", default="10000,40000",
                        help="DBInitForOtherPlugins entries (default 10000,40000)")
    parser.add_argument("--xml-mb", type=float, default=300,
                        help="MiB of the DBConfig.xml of small elements (default 300; 0: none)")
    parser.add_argument("--xml-runs", type=int, default=3, help="runs of each file (default 3)")
    parser.add_argument("--profile-runs", type=int, default=5,
                        help="profiled runs of each side (default 5)")
    args = parser.parse_args()
    args.sweep = [int(x) for x in args.sweep.split(",") if x]
    args.xml_configs = [int(x) for x in args.xml_configs.split(",") if x]
    args.xml_plugins = [int(x) for x in args.xml_plugins.split(",") if x]
    parts = [p for p in args.only.split(",") if p] or ["product", "derive", "startup", "floor",
                                                                  "rows", "big"]
    parts += [p for p, flag in (("xml", args.xml), ("profile", args.profile))
              if flag and p not in parts]
    unknown = [p for p in parts if p not in PARTS]
    if unknown:
        parser.error("unknown part: " + ", ".join(unknown))

    args.install = os.path.realpath(args.install)
    args.work = os.path.realpath(args.work)
    os.makedirs(args.out, exist_ok=True)
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)

    def log(text):
        print(text, flush=True)

    started = time.time()
    report = ["## Results", "",
              f"- date: {datetime.datetime.now(datetime.timezone.utc):%Y-%m-%d %H:%M} UTC",
              f"- machine: {machine()}",
              f"- command: `{args.command or ' '.join(sys.argv)}`",
              f"- load average (1, 5, 15 min) before: {load()}", ""]
    for part in parts:
        report += PARTS[part](args, log)
    report.append(f"- load average after: {load()}; the run took {time.time() - started:.0f} s")
    write(os.path.join(args.out, "results.md"), "\n".join(report) + "\n")
    print("\n" + "\n".join(report))
    shutil.rmtree(args.work, ignore_errors=True)


if __name__ == "__main__":
    main()
