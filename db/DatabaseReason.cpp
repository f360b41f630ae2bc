#include "db/DatabaseReason.h"

#include "base/Windows1251.h"

#include <firebird/Interface.h>

#include <QStringList>

#include <cerrno>
#include <initializer_list>
#include <vector>

namespace vornic {
namespace {

// One error code of a status vector with the arguments that follow it, as bytes.
struct Entry {
    ISC_STATUS code = 0;
    QList<QByteArray> arguments;
};

class StatusVector final {
public:
    explicit StatusVector(const std::intptr_t* v) {
        if (!v)
            return;
        while (*v != isc_arg_end) {
            const std::intptr_t type = *v++;
            switch (type) {
            case isc_arg_gds:
                entries_.push_back({*v++, {}});
                break;
            case isc_arg_string:
            case isc_arg_interpreted:
                addArgument(QByteArray(reinterpret_cast<const char*>(*v++)));
                break;
            case isc_arg_cstring: {
                const auto length = static_cast<qsizetype>(*v++);
                addArgument(QByteArray(reinterpret_cast<const char*>(*v++), length));
                break;
            }
            case isc_arg_number:
                addArgument(QByteArray::number(static_cast<qint64>(*v++)));
                break;
            case isc_arg_unix:
                setOsError(*v++, Os::Posix);
                break;
            case isc_arg_win32:
                setOsError(*v++, Os::Windows);
                break;
            default: // the SQL state and codes of other systems say nothing an operator could use
                ++v;
                break;
            }
        }
    }

    const Entry* find(ISC_STATUS code) const {
        for (const Entry& entry : entries_)
            if (entry.code == code)
                return &entry;
        return nullptr;
    }
    bool has(ISC_STATUS code) const { return find(code) != nullptr; }
    bool hasAny(std::initializer_list<ISC_STATUS> codes) const {
        for (const ISC_STATUS code : codes)
            if (has(code))
                return true;
        return false;
    }

    bool fileIsMissing() const { return missing_; }
    bool accessIsDenied() const { return denied_; }

private:
    enum class Os { Posix, Windows };

    void addArgument(QByteArray argument) {
        if (!entries_.empty())
            entries_.back().arguments.append(std::move(argument));
    }

    void setOsError(std::intptr_t number, Os os) {
        if (os == Os::Posix) {
            missing_ = missing_ || number == ENOENT || number == ENOTDIR;
            denied_ = denied_ || number == EACCES || number == EPERM || number == EROFS;
        } else {
            missing_ = missing_ || number == 2 || number == 3; // ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND
            denied_ = denied_ || number == 5;                  // ERROR_ACCESS_DENIED
        }
    }

    std::vector<Entry> entries_;
    bool missing_ = false;
    bool denied_ = false;
};

QByteArray argument(const Entry* entry, int index) {
    return entry ? entry->arguments.value(index) : QByteArray();
}

// File and host names are the bytes we passed in, in the system's encoding; values and column names come from
// the database, in the code page of its texts.
QString fileArgument(const Entry* entry, int index) {
    return QString::fromLocal8Bit(argument(entry, index));
}

QString textArgument(const Entry* entry, int index) {
    return windows1251::decode(argument(entry, index));
}

// The database quotes names ("LIST_OBJECTS"."FIO"); the operator reads them better bare.
QString columnArgument(const Entry* entry, int index) {
    return textArgument(entry, index).remove(u'"');
}

// A phrase with a name at its end: without the name, the phrase alone.
QString naming(const QString& phrase, const QString& name) {
    return name.isEmpty() ? phrase : phrase + QStringLiteral(": ") + name;
}

QString connectionReason(const StatusVector& status) {
    if (status.has(isc_already_opened))
        return QStringLiteral("база данных уже открыта другой копией программы");
    if (const Entry* io = status.find(isc_io_error)) {
        const QString file = fileArgument(io, 1);
        if (status.fileIsMissing())
            return naming(QStringLiteral("файл базы данных не найден"), file);
        if (status.accessIsDenied())
            return naming(QStringLiteral("нет прав доступа к файлу базы данных"), file);
        return naming(QStringLiteral("ошибка чтения или записи файла базы данных"), file);
    }
    if (const Entry* format = status.find(isc_bad_db_format))
        return QStringLiteral("файл %1 не является базой данных или повреждён").arg(fileArgument(format, 0));
    if (const Entry* ods = status.find(isc_wrong_ods))
        return QStringLiteral("файл %1 сделан несовместимой версией сервера базы данных").arg(fileArgument(ods, 0));
    if (status.has(isc_login))
        return QStringLiteral("неверное имя пользователя или пароль базы данных");
    if (const Entry* lockFolder = status.find(isc_lock_dir_access))
        return naming(QStringLiteral("нет доступа к служебной папке базы данных"), fileArgument(lockFolder, 0));
    // A folder of the engine's own that another user of this computer made first.
    if (status.has(isc_sys_request) && status.accessIsDenied())
        return naming(QStringLiteral("нет прав доступа"), fileArgument(status.find(isc_random), 0));
    if (status.hasAny({isc_net_read_err, isc_net_write_err, isc_conn_lost, isc_lost_db_connection, isc_att_shutdown}))
        return lostConnectionReason();
    if (const Entry* network = status.find(isc_network_error))
        return QStringLiteral("сервер базы данных %1 недоступен").arg(fileArgument(network, 0)).simplified();
    if (status.has(isc_unavailable))
        return QStringLiteral("сервер базы данных недоступен");
    if (status.has(isc_shutdown))
        return QStringLiteral("база данных закрыта на обслуживание; повторите позже");
    return {};
}

QString changeReason(const StatusVector& status) {
    if (status.has(isc_read_only_database))
        return QStringLiteral("база данных открыта только для чтения");
    if (status.hasAny({isc_deadlock, isc_update_conflict, isc_lock_conflict, isc_lock_timeout}))
        return QStringLiteral("запись изменена или заблокирована другим пользователем; повторите позже");
    if (const Entry* privilege = status.find(isc_no_priv)) {
        if (argument(privilege, 1).compare("database", Qt::CaseInsensitive) == 0)
            return naming(QStringLiteral("нет прав доступа к файлу базы данных"), fileArgument(privilege, 2));
        return QStringLiteral("недостаточно прав для этого действия");
    }
    if (status.hasAny({isc_unique_key_violation, isc_no_dup}))
        return QStringLiteral("запись с таким значением уже есть, а оно не должно повторяться");
    if (const Entry* invalid = status.find(isc_not_valid)) {
        if (argument(invalid, 1) == "*** null ***")
            return naming(QStringLiteral("не заполнено обязательное поле"), columnArgument(invalid, 0));
        return naming(QStringLiteral("недопустимое значение поля"), columnArgument(invalid, 0));
    }
    if (status.has(isc_foreign_key)) {
        if (status.has(isc_foreign_key_references_present))
            return QStringLiteral("на запись ссылаются другие записи; сначала измените или удалите их");
        if (status.has(isc_foreign_key_target_doesnt_exist))
            return QStringLiteral("запись ссылается на запись, которой нет");
        return QStringLiteral("нарушена связь между записями");
    }
    if (status.has(isc_string_truncation)) {
        const QByteArray limit = argument(status.find(isc_trunc_limits), 0);
        // Texts are stored one byte a letter, so the limit in bytes is the limit in letters.
        return limit.isEmpty() ? QStringLiteral("текст длиннее, чем допускает поле")
                               : QStringLiteral("текст длиннее, чем допускает поле (не более %1 знаков)")
                                     .arg(QString::fromLatin1(limit));
    }
    if (const Entry* conversion = status.find(isc_convert_error))
        return QStringLiteral("значение «%1» не подходит для поля").arg(textArgument(conversion, 0));
    if (status.has(isc_numeric_out_of_range))
        return QStringLiteral("число выходит за допустимые пределы");
    if (status.has(isc_arith_except))
        return QStringLiteral("значение не подходит для поля");
    return {};
}

// "Unknown columns in index": the client library's headers give this code of the server's no name.
constexpr ISC_STATUS kUnknownIndexColumns = 336068728;

// Refusals of a change to a table's columns or indexes.
QString structureReason(const StatusVector& status) {
    if (const Entry* characterSet = status.find(isc_charset_not_found))
        return naming(QStringLiteral("в базе данных нет такого набора символов"), textArgument(characterSet, 0));
    if (const Entry* recordSize = status.find(isc_rec_size_err))
        return QStringLiteral("строка таблицы стала бы длиннее допустимых 64 КБ (%1 байт)")
            .arg(QString::fromLatin1(argument(recordSize, 0)));
    if (status.has(kUnknownIndexColumns))
        return QStringLiteral("в таблице нет такого столбца");
    if (status.has(isc_keytoobig))
        return QStringLiteral("ключ индекса был бы длиннее, чем допускает база данных");
    return {};
}

} // namespace

QString lostConnectionReason() {
    return QStringLiteral("связь с сервером базы данных потеряна; перезапустите программу");
}

bool tellsOfLostConnection(const QString& reason) {
    return reason.endsWith(lostConnectionReason());
}

bool refusesValue(const std::intptr_t* errors) {
    const StatusVector status(errors);
    return status.hasAny({isc_string_truncation, isc_transliteration_failed, isc_malformed_string});
}

QString databaseReason(const std::intptr_t* errors) {
    const StatusVector status(errors);
    QString reason = connectionReason(status);
    if (reason.isEmpty())
        reason = changeReason(status);
    if (reason.isEmpty())
        reason = structureReason(status);
    if (reason.isEmpty())
        reason = QStringLiteral("ошибка базы данных");
    return reason;
}

} // namespace vornic
