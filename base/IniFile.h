#pragma once

#include <QDate>
#include <QString>

namespace vornic {

// The settings file "options.ini": sections of key=value lines, Windows-1251 text with CR LF line ends, as the
// Windows private-profile functions keep it, so that a file carried over from a Windows workstation reads the same.
//
// Nothing is cached: every call opens the file, reads or writes its one entry and closes it again, so a value
// written by one window is seen at once by every other, and a crash loses at most the write in hand.
class IniFile final {
public:
    explicit IniFile(QString path);

    QString path() const { return path_; }

    // A missing file, section or key gives the default; so does a value that the type cannot read.
    QString readString(const QString& section, const QString& key, const QString& defaultValue) const;
    int readInteger(const QString& section, const QString& key, int defaultValue) const;
    QDate readDate(const QString& section, const QString& key, QDate defaultValue) const;

    // Throw Failure when the file cannot be written or the text cannot be held by the file.
    void writeString(const QString& section, const QString& key, const QString& value);
    void writeInteger(const QString& section, const QString& key, int value);
    void writeDate(const QString& section, const QString& key, QDate value);

private:
    QString path_;
};

} // namespace vornic
