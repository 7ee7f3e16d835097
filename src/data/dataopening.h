#pragma once

#include <QString>
#include <QStringList>

// Sorting the items picked in the open-data panel, and finding the images of a picked folder.
namespace dataopening {

enum class PickedKind { Folder, JpgImage, JpegImage, PngImage, Table, Rejected };

// The last path component's text after its last dot, lower-cased; empty when there is none
// (a name that only starts with a dot, such as ".hidden", has none either).
QString lowerExtension(const QString& path);

// What a picked item is. A directory is a folder whatever its name ("photos.v2" included);
// any other item is judged by its extension, and one without an extension counts as a folder
// (listing it will then fail and say so).
PickedKind classifyPicked(const QString& path, bool isDirectory);

// The diagnostic line naming the kind ("folder", "jpg image", ..., "wrong file").
QString kindLine(PickedKind kind);

// A folder entry name that looks like an image: its lower-case form contains ".jpg", ".png" or
// "jpeg" anywhere (so "z.jpg.bak" passes; the extension check below then drops it).
bool nameLooksLikeImage(const QString& name);

// A file the image opener accepts: extension exactly jpg, jpeg or png, any case.
bool isAcceptedImage(const QString& path);

struct FolderScan {
    bool listed = false;   // false when the folder could not be listed
    QStringList entries;   // every entry name, sorted by name
    QStringList retained;  // entries whose names look like images
    QStringList accepted;  // absolute paths of the retained entries that are image files
};

// Lists the folder (not recursively) and keeps its image files. Entries are sorted by name so
// that the same folder always gives the same order; sub-folders are never accepted.
FolderScan scanFolder(const QString& folder);

}  // namespace dataopening
