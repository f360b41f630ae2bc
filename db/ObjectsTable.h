#pragma once

#include <QString>

// The monitored objects (LIST_OBJECTS): the names of its columns, its fixed values and every statement the
// program runs over it, each written once. Data sets find their fields by these names without regard to case.
namespace vornic::ObjectsTable {

inline const QString kId = QStringLiteral("ID_OBJECT"); // the key, assigned by the database
inline const QString kScanner = QStringLiteral("ID_SCANNER");
inline const QString kFio = QStringLiteral("FIO");
inline const QString kAddress = QStringLiteral("ADDRESS");
inline const QString kPersonalAccount = QStringLiteral("PERSONAL_ACCOUNT");
inline const QString kSeal = QStringLiteral("NOMER_PLOMB");
inline const QString kStatus = QStringLiteral("STATUS");
inline const QString kSimCard = QStringLiteral("SIM_CARD");
inline const QString kPowerSupply = QStringLiteral("POWER_DEVICES");
inline const QString kMark = QStringLiteral("CHECK_GRID"); // 1: chosen for the group operations

// The power supply of a scanner fed from the mains: it has no battery whose level would mean anything.
inline const QString kMainsPower = QStringLiteral("Электрическая сеть");

// The whole directory in the order the database gives: the lists of the main window, the loading window and the
// directory window.
inline const QString kSelectAll = QStringLiteral("SELECT *  FROM LIST_OBJECTS");
// Only the objects marked for the group operations.
inline const QString kSelectMarked = QStringLiteral("select * from list_objects where list_objects.check_grid = 1");
// The whole directory ordered by one of its columns, as a title click asks.
QString selectOrderedBy(const QString& column, bool descending);

// The main list changes only the status and the mark.
inline const QString kModifyStatusAndMark =
    QStringLiteral("UPDATE LIST_OBJECTS SET STATUS=:STATUS, CHECK_GRID=:CHECK_GRID WHERE ID_OBJECT=?old_ID_OBJECT");

// The directory window's changes. A new object starts marked.
inline const QString kInsert = QStringLiteral(
    "  INSERT INTO LIST_OBJECTS (list_objects.PERSONAL_ACCOUNT, list_objects.FIO, list_objects.address, "
    "list_objects.ID_SCANNER, list_objects.nomer_plomb, list_objects.sim_card, list_objects.power_devices, "
    "list_objects.check_grid) VALUES (:PERSONAL_ACCOUNT,:FIO,:address,:ID_SCANNER,:nomer_plomb, :sim_card, "
    ":power_devices, '1')");
inline const QString kModify = QStringLiteral(
    "UPDATE LIST_OBJECTS SET PERSONAL_ACCOUNT=:PERSONAL_ACCOUNT, FIO=:FIO, ADDRESS=:ADDRESS, ID_SCANNER=:ID_SCANNER, "
    "NOMER_PLOMB=:NOMER_PLOMB, CHECK_GRID=:CHECK_GRID, sim_card=:sim_card, power_devices=:power_devices WHERE "
    "ID_OBJECT=?old_ID_OBJECT");
inline const QString kDelete = QStringLiteral("Delete From LIST_OBJECTS where id_object=?old_id_object");

// The name and scanner of every object, or of the one object of the parameter.
inline const QString kNamesSelect = QStringLiteral("SELECT ID_OBJECT, FIO, ID_SCANNER FROM LIST_OBJECTS");
inline const QString kNamesOfObjectSelect = kNamesSelect + QStringLiteral(" WHERE ID_OBJECT=?");

// The scanners' list of the maintenance report, in the order of the key.
inline const QString kMaintenanceSelect =
    QStringLiteral("SELECT ID_OBJECT, ID_SCANNER, FIO, ADDRESS, POWER_DEVICES FROM LIST_OBJECTS ORDER BY ID_OBJECT");

// The parameters of a period's statements: its first and its last moment, both included.
inline const QString kPeriodStart = QStringLiteral("PERIOD_START");
inline const QString kPeriodEnd = QStringLiteral("PERIOD_END");

// The objects with no reading stamped within the period. NOT EXISTS rather than NOT IN: a reading without an
// object (another program writing to a shared database can leave one) would make NOT IN unknown for every
// object, and the list would come out empty.
inline const QString kUnpolledSelect = QStringLiteral(
    "select list_objects.id_object, list_objects.id_scanner, list_objects.fio, list_objects.address from "
    "list_objects where not exists (select image_object_date.id_object from image_object_date where "
    "image_object_date.id_object=list_objects.id_object and image_object_date.dat>=:PERIOD_START and "
    "image_object_date.dat<=:PERIOD_END);");

// The objects with at least one reading within the period, each once, the object with the newest reading first
// (among equal times by scanner, name and key). Each object's newest reading of the period is one step down the
// descending index of its readings, so a year of readings is not read to find them.
inline const QString kWithReadingsSelect = QStringLiteral(
    "SELECT id_scanner, fio, id_object FROM (SELECT list_objects.id_scanner, list_objects.fio, "
    "list_objects.id_object, (SELECT FIRST 1 image_object_date.dat FROM image_object_date WHERE "
    "image_object_date.id_object=list_objects.id_object and image_object_date.dat>=:PERIOD_START and "
    "image_object_date.dat<=:PERIOD_END ORDER BY image_object_date.id_object DESC, image_object_date.dat DESC) "
    "AS newest FROM list_objects) WHERE newest IS NOT NULL ORDER BY newest DESC, id_scanner, fio, id_object");

} // namespace vornic::ObjectsTable
