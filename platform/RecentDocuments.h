// RecentDocuments: the desktop's list of recently used files (the freedesktop recently-used.xbel bookmark file),
// to which the player adds every movie it takes into its playlist or opens.
#pragma once

#include <QString>

class RecentDocuments
{
public:
    // The list in the user's data folder ($XDG_DATA_HOME/recently-used.xbel), or the file given.
    explicit RecentDocuments(const QString& file = defaultFile());

    static QString defaultFile();
    const QString& file() const { return _file; }

    // Adds the file at `path` to the list; a file already listed stays as it is. Answers whether the list now
    // holds the file. Entries of other applications are kept byte for byte; a list that is not a bookmark file,
    // or is implausibly large, is left untouched.
    bool noteNewRecentDocument(const QString& path) const;

private:
    QString _file;
};
