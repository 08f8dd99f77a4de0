#include "platform/FileOperations.h"

namespace lumora::platform
{

FileOpRequest FileOpRequest::forOperation(int opType, const QStringList &sources,
                                          const QString &destination)
{
    FileOpRequest r;
    r.sources = sources;
    r.destination = destination;
    switch (opType) {
    case 1:
        r.function = Copy;
        break;
    case 2:
        r.function = Delete;
        r.flags = AllowUndo;
        r.destination.clear();
        break;
    case 3:
        r.function = Delete;
        r.destination.clear();
        break;
    case 4:
        r.function = Move;
        break;
    case 5:
        r.function = Rename;
        break;
    default:
        r.function = Function(0);
        break;
    }
    return r;
}

int FileOpRequest::operationCode() const
{
    switch (function) {
    case Copy:
        return 1;
    case Delete:
        return (flags & AllowUndo) ? 2 : 3;
    case Move:
        return 4;
    case Rename:
        return 5;
    }
    return 0;
}

} // namespace lumora::platform
