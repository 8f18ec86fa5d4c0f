#pragma once

#include <QCoreApplication>
#include <QString>

namespace velmora {

// A text of the "Workspace" table, marked where it is listed (QT_TRANSLATE_NOOP3 gives both
// fields) and translated into the current interface language where it is shown.
struct WorkspaceText {
    const char *source;
    const char *comment;

    QString translated() const { return QCoreApplication::translate("Workspace", source, comment); }
};

} // namespace velmora
