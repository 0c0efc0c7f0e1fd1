#include "app/output_folder.h"

#include "app/mdl_common.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <unistd.h>

namespace lumivert {

std::string OutputFolder() {
    const std::string programFolder = mdlCommon::GetAppFolder();
    // Making a file needs both: writing the folder and passing through it. access() asks
    // with the user's real ids, and answers no on a read-only file system as well.
    if (::access(programFolder.c_str(), W_OK | X_OK) == 0)
        return programFolder;
    // XDG_PICTURES_DIR as xdg-user-dirs sets it, else ~/Pictures.
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (pictures.isEmpty())
        return programFolder; // no home at all: the saves report the program folder's error
    const QString folder = QDir(pictures).filePath("Lumivert");
    QDir().mkpath(folder);
    return QFile::encodeName(folder).toStdString() + '/';
}

} // namespace lumivert
