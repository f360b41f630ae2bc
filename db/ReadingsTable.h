#pragma once

#include "db/ObjectsTable.h"
#include "db/ReadingOrder.h"

#include <QString>

// The readings (IMAGE_OBJECT_DATE): the names of its columns, the codes of its doubt flag and every statement the
// program runs over it, each written once. Data sets find their fields by these names without regard to case.
namespace vornic::ReadingsTable {

inline const QString kTable = QStringLiteral("IMAGE_OBJECT_DATE");

inline const QString& kObject = ObjectsTable::kId;
inline const QString kDate = QStringLiteral("DAT");
inline const QString kPictureId = QStringLiteral("ID_IMAG"); // the server's number of the picture: the key
inline const QString kPicture = QStringLiteral("IMAGE");
inline const QString kRecognition = QStringLiteral("RECOGNITION");
inline const QString kReadings = QStringLiteral("READINGS");
inline const QString kBattery = QStringLiteral("BAT");
inline const QString kSignal = QStringLiteral("CSQ");
inline const QString kNetwork = QStringLiteral("NSMOD");
inline const QString kError = QStringLiteral("ERROR");

// The values of ERROR: the server was not sure of the recognition, or the operator has set or confirmed the value.
constexpr int kDoubtful = 1;
constexpr int kSetByOperator = 99;

// The current object's readings (":id_object" is the object list's current key), newest or oldest first. Newest
// first the order names the object's key too: ordered by DAT alone the engine would walk the index of every
// object's readings by time to find this object's (see kOfObjectInPeriodEnd).
inline const QString kOfObjectNewestFirst =
    QStringLiteral("SELECT*from Image_object_date Where (id_object=:id_object) ORDER BY ID_OBJECT DESC, DAT DESC") +
    kEqualTimesNewestFirst;
inline const QString kOfObjectOldestFirst =
    QStringLiteral("SELECT*from Image_object_date Where (id_object=:id_object) ORDER BY DAT") + kEqualTimesOldestFirst;
// The main window's changes of a reading.
inline const QString kModify = QStringLiteral(
    "UPDATE IMAGE_OBJECT_DATE SET error=:error, ID_OBJECT=:ID_OBJECT, DAT=:DAT, READINGS= :READINGS, BAT=:BAT, "
    "CSQ=:CSQ, NSMOD=:NSMOD WHERE   ID_IMAG = ?old_ID_IMAG");
inline const QString kDelete = QStringLiteral("delete from IMAGE_OBJECT_DATE where ID_IMAG=?old_ID_IMAG");
// Every reading of one object (the parameter), with its picture, before the object itself is removed.
inline const QString kDeleteOfObject = QStringLiteral("Delete From image_object_date where id_object=?");

// The doubtful readings with their objects, and the review's change of one.
inline const QString kDoubtfulSelect = QStringLiteral(
    "select image_object_date.id_object, image_object_date.id_imag, list_objects.id_scanner, list_objects.address, "
    "list_objects.fio, image_object_date.dat, image_object_date.RECOGNITION, image_object_date.READINGS, "
    "image_object_date.error, image_object_date.image  from list_objects, image_object_date where "
    "list_objects.id_object=image_object_date.id_object and image_object_date.error=1");
inline const QString kReviewModify =
    QStringLiteral("update image_object_date set error=:error, readings=:readings where id_imag=?old_id_imag");

// The download's statements: a new reading, the completion of one stored without its value, the look-up of a
// stored reading by its picture number and the picture of one stored without it. The look-up's last column tells
// whether the stored picture is a whole JPEG stream (null when it has none).
inline const QString kDownloadInsert = QStringLiteral(
    "INSERT INTO Image_object_date (ID_OBJECT,DAT,ID_IMAG,IMAGE,RECOGNITION,READINGS,BAT,CSQ,NSMOD,ERROR) VALUES "
    "(:ID_OBJECT,:DAT,:ID_IMAG,:IMAGE,:RECOGNITION,:READINGS,:BAT,:CSQ,:NSMOD,:ERROR)");
inline const QString kDownloadComplete = QStringLiteral(
    "UPDATE  IMAGE_OBJECT_DATE SET  IMAGE=:IMAGE, RECOGNITION=:RECOGNITION, READINGS=:READINGS WHERE ID_IMAG= "
    "?old_ID_IMAG");
inline const QString kLookup = QStringLiteral(
    "SELECT READINGS, DAT, IMAGE, CASE WHEN IMAGE IS NULL THEN NULL WHEN OCTET_LENGTH(IMAGE) >= 4 AND "
    "SUBSTRING(IMAGE FROM 1 FOR 2) = x'FFD8' AND SUBSTRING(IMAGE FROM OCTET_LENGTH(IMAGE) - 1 FOR 2) = x'FFD9' "
    "THEN 1 ELSE 0 END FROM IMAGE_OBJECT_DATE WHERE ID_IMAG = ?");
inline const QString kFillPicture = QStringLiteral("UPDATE IMAGE_OBJECT_DATE SET IMAGE = ? WHERE ID_IMAG = ?");

// One object's readings before a moment (parameters: the object, the moment), oldest first, walked up the
// object's oldest-first index (kOfObjectInPeriodEnd below says why).
inline const QString kHistorySelect =
    QStringLiteral("SELECT ID_OBJECT, DAT, ID_IMAG, READINGS, ERROR FROM IMAGE_OBJECT_DATE WHERE ID_OBJECT=? AND "
                   "DAT<? ORDER BY ID_OBJECT, DAT") +
    kEqualTimesOldestFirst + QStringLiteral(" ROWS 1 TO 2147483647");
// A reading's moment as a statement gives it where hundreds of thousands of readings come over: seconds since the
// start of 2000, as stored, without a local date and time made for each, which would ask the system's time zone
// each time and cost more than all the rest.
inline const QString kSecondsSince2000 = QStringLiteral("DATEDIFF(SECOND FROM TIMESTAMP '2000-01-01 00:00:00' TO DAT)");
inline constexpr qint64 kSecondsAt2000 = 946684800; // 2000-01-01 00:00:00 in seconds since 1970
// Every reading, or those of the one object of the parameter, in the order of objects and times; the moment as
// kSecondsSince2000.
inline const QString kAllInObjectOrder = QStringLiteral("SELECT ID_OBJECT, ") + kSecondsSince2000 +
                                         QStringLiteral(", ID_IMAG, READINGS, ERROR FROM IMAGE_OBJECT_DATE ORDER BY "
                                                        "ID_OBJECT, DAT") +
                                         kEqualTimesOldestFirst;
inline const QString kOfObjectInTimeOrder = QStringLiteral("SELECT ID_OBJECT, ") + kSecondsSince2000 +
                                            QStringLiteral(", ID_IMAG, READINGS, ERROR FROM IMAGE_OBJECT_DATE WHERE "
                                                           "ID_OBJECT=? ORDER BY ID_OBJECT, DAT") +
                                            kEqualTimesOldestFirst;
// One object's readings, newest first: the moment as seconds since the start of 2000, battery and signal. The
// engine walks the object's newest-first index and stops where the reader stops fetching, so that the last days of
// a year of readings cost no more than those days; ROWS keeps it from sorting instead.
inline const QString kNewestFirstOfObjectSelect =
    QStringLiteral("SELECT ") + kSecondsSince2000 +
    QStringLiteral(", BAT, CSQ FROM IMAGE_OBJECT_DATE WHERE ID_OBJECT=? ORDER BY ID_OBJECT DESC, DAT DESC, ID_IMAG "
                   "DESC ROWS 1 TO 2147483647");

// One object's readings within a period, newest first, all columns: pieces around the object's key and the
// texts of the period's first and last moment. Ordered by DAT alone, the engine would walk the index of all
// objects' readings by time, reading every object's readings of the period to find this one's; naming the
// object's key first, with ROWS, makes it walk the object's own readings down their newest-first index, between
// the period's ends. The rows and their order are the same.
inline const QString kOfObjectInPeriodStart = QStringLiteral("SELECT*FROM Image_object_date WHERE id_object=");
inline const QString kOfObjectInPeriodFrom = QStringLiteral(" and dat>='");
inline const QString kOfObjectInPeriodUntil = QStringLiteral("' and dat<='");
inline const QString kOfObjectInPeriodEnd = QStringLiteral("' ORDER BY ID_OBJECT DESC, DAT DESC") +
                                            kEqualTimesNewestFirst + QStringLiteral(" ROWS 1 TO 2147483647");
// One object's readings within a period (the object's key, the period's first and last moment), newest or
// oldest first: the day and the value. Among equal times the greater picture number is the newer, as everywhere.
// The order names the object's key first, so that it is the order of the indexes over (ID_OBJECT, DAT, ID_IMAG),
// and ROWS tells the engine that the first rows are wanted soon: it then walks the index from the wanted end
// instead of sorting the object's readings of the period, of which the consumption report reads only the first
// few. A database without those indexes gives the same rows, sorted.
inline const QString kValuesOfObjectInPeriodNewestFirst = QStringLiteral(
    "SELECT dat, readings FROM image_object_date WHERE id_object=? and dat>=? and dat<=? ORDER BY id_object DESC, "
    "dat DESC, id_imag DESC ROWS 1 TO 2147483647");
inline const QString kValuesOfObjectInPeriodOldestFirst =
    QStringLiteral("SELECT dat, readings FROM image_object_date WHERE id_object=? and dat>=? and dat<=? ORDER BY "
                   "id_object, dat, id_imag ROWS 1 TO 2147483647");

// The readings of a month with their objects, all objects' newest first or the marked objects' in the order the
// database gives, in pieces around the texts of the month's first and last day.
inline const QString kMonthSelectStart =
    QStringLiteral("SELECT LIST_OBJECTS.personal_account, list_objects.id_scanner, list_objects.fio, "
                   "list_objects.id_object, image_object_date.dat, image_object_date.READINGS from list_objects, "
                   "Image_object_date WHERE dat>='");
inline const QString& kMonthSelectUntil = kOfObjectInPeriodUntil;
inline const QString kMonthSelectAllEnd =
    QStringLiteral(" 23:59:59' and list_objects.id_object=image_object_date.id_object ORDER BY DAT DESC") +
    kEqualTimesNewestFirst;
inline const QString kMonthSelectMarkedEnd =
    QStringLiteral(" 23:59:59' AND list_objects.check_grid=1 and list_objects.id_object=image_object_date.id_object");

} // namespace vornic::ReadingsTable
