#pragma once
#include <QString>
#include <vector>

namespace app {

// Splits `text` at every occurrence of `separator` (compared exactly) into
// table[0], table[1], ...; fields beyond the table's size are dropped.
// "a;;b" gives "a", "" and "b"; an empty text gives one empty field.
void split_fields(std::vector<QString>& table, const QString& text, const QString& separator);

// The folder part of `path`: everything up to and including its last folder
// separator, or an empty string when it has none.
QString get_folder(const QString& path);

// True when `path` names a file that can be opened for reading (a folder,
// a missing or unreadable file and the empty path give false).
bool file_exists(const QString& path);

}  // namespace app
