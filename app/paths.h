#pragma once
#include <QChar>

namespace app {

// The one place that knows how this platform separates folders in a path.
#ifdef _WIN32
inline constexpr QChar kFolderSeparator = u'\\';
#else
inline constexpr QChar kFolderSeparator = u'/';
#endif

}  // namespace app
