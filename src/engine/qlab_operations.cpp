#include "engine/qlab_operations.h"

namespace carvo {

QString failureText(FilesAnswer::Failure failure) {
    switch (failure) {
    case FilesAnswer::Failure::scriptFailed:
        return QStringLiteral("Script failed");
    case FilesAnswer::Failure::error:
        return QStringLiteral("Error");
    case FilesAnswer::Failure::noResult:
        return QStringLiteral("No Result");
    }
    return QStringLiteral("Script failed");
}

} // namespace carvo
