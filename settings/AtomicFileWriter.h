#pragma once

#include <QByteArray>
#include <QString>

namespace vetu {

// Replaces the whole content of the file at path so that the file holds either its old
// or its new content at every moment, whatever happens to the program or the drive:
// the bytes go to a new file beside the target, which is flushed to the disk and then
// renamed over the target; the folder is flushed afterwards where the file system allows.
// An existing target keeps its permissions; a symbolic link keeps pointing to the file,
// which is replaced. A target that exists but is not a regular file, or that we may not
// write, is refused. The new file is named ".<name>.tmp-<hex>"; such files that a save
// cut off long ago left behind are removed after the next good save.
//
// Throws IniWriteError(path) on any failure; the target is then unchanged and no
// temporary file is left behind.
void WriteFileAtomically(const QString &path, const QByteArray &bytes);

} // namespace vetu
