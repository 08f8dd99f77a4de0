#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The inputs of a batch: files as given, folders opened up with --recursive,
// all by the bytes of their names (see platform::pathFromBytes).
namespace lumora
{

// One input of a batch: the file, and the folder under --out-dir (relative,
// "" for the top) its output goes to.
struct BatchInput {
    QString path;
    QString folder;
};

struct BatchInputs {
    QList<BatchInput> files;
    // Inputs that give nothing, each a line for the user: a folder without
    // --recursive, a folder that cannot be read.
    QStringList problems;
};

// The files of `inputs` in order, each folder's images (by extension, hidden
// names left out) in name order below it when `recursive`; `outDir` is never
// read even when it lies inside an input folder.
BatchInputs collectBatchInputs(const QStringList &inputs, bool recursive, const QString &outDir);

// Makes the folder and its parents, by bytes; false with *error set.
bool makeFolders(const QByteArray &path, QString *error);

// The name of `path`'s last part without its extension.
QString outputBaseName(const QString &path);

} // namespace lumora
