// Whole-file reads with a fallback to the file's backup copy.
#ifndef PLINTH_COMMON_FILEBAK_H_
#define PLINTH_COMMON_FILEBAK_H_

#include <string>

namespace plinth {

class CFileBak {
 public:
  // Reads the whole file `file_path_name` (a path in the local code page) into
  // `text`, every byte as stored, with trailing line feeds removed unless the
  // file holds nothing else. When the file cannot be opened or is empty, the
  // backup is read instead: `backup_path` when given, else the file of the
  // same directory and stem with the extension ".data".
  //
  // Returns true when the file or its backup held at least one byte; on false
  // `text` is left as it was. Failures are logged.
  static bool ReadFile(std::string& text, const std::string& file_path_name,
                       const std::string& backup_path = std::string());

  // Splits `file_path_name` at its last "/" or "\" into the directory
  // `file_path` and the last component, which splits at its last dot into the
  // stem `file_name` and the extension `file_type` (left untouched when the
  // component has no dot). Returns false, changing nothing, when the path has
  // no separator.
  static bool ParseFilePath(const std::string& file_path_name, std::string& file_path,
                            std::string& file_name, std::string& file_type);
};

}  // namespace plinth

#endif  // PLINTH_COMMON_FILEBAK_H_
