// The icon of the program's and the virtual pad's windows: the pad with its
// pen, at every size the resource holds, so each window system picks the one
// it draws. Needs the vellumix_icon resource linked into the program.
#pragma once

#include <QDir>
#include <QIcon>
#include <QString>

namespace vellumix::res {

inline QIcon AppIcon() {
    const QDir folder(QStringLiteral(":/icons"));
    QIcon icon;
    for (const QString& name : folder.entryList({QStringLiteral("vellumix-demo-*.png")})) {
        icon.addFile(folder.filePath(name));
    }
    return icon;
}

}  // namespace vellumix::res
