#include "tools/demo_data/DemoObjects.h"

#include "db/Database.h"
#include "db/Statement.h"

#include <QStringList>

namespace vornic {

void addDemoObjects(Database& database, int count, int firstScanner) {
    static const QStringList surnames = {
        QStringLiteral("Иванов"),  QStringLiteral("Смирнова"), QStringLiteral("Кузнецов"), QStringLiteral("Попова"),
        QStringLiteral("Соколов"), QStringLiteral("Лебедева"), QStringLiteral("Козлов"),   QStringLiteral("Новикова"),
        QStringLiteral("Морозов"), QStringLiteral("Волкова"),  QStringLiteral("Ёлкин"),    QStringLiteral("Зайцева")};
    static const QStringList initials = {QStringLiteral("И. П."), QStringLiteral("О. С."), QStringLiteral("А. В."),
                                         QStringLiteral("Е. Н."), QStringLiteral("М. Д.")};
    static const QStringList sites = {QStringLiteral("Котельная №"), QStringLiteral("Школа №"),
                                      QStringLiteral("Детский сад №"), QStringLiteral("ТП-")};
    static const QStringList streets = {QStringLiteral("ул. Ленина"),    QStringLiteral("пр. Мира"),
                                        QStringLiteral("ул. Садовая"),   QStringLiteral("ул. Гагарина"),
                                        QStringLiteral("ул. Советская"), QStringLiteral("пер. Школьный")};
    static const QStringList statuses = {QStringLiteral("Работает"), QStringLiteral("Работает"),
                                         QStringLiteral("Не работает"), QStringLiteral("Отключен"),
                                         QStringLiteral(" ")};

    auto unit = database.lock();
    Statement insert(database, QStringLiteral("INSERT INTO LIST_OBJECTS (PERSONAL_ACCOUNT, FIO, ADDRESS, ID_SCANNER, "
                                              "NOMER_PLOMB, STATUS, SIM_CARD, POWER_DEVICES, CHECK_GRID) "
                                              "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    for (int i = 0; i < count; ++i) {
        const bool site = i % 5 == 4;
        const QString name = site ? sites[i % sites.size()] + QString::number(i % 40 + 1)
                                  : surnames[i % surnames.size()] + u' ' + initials[(i / 3) % initials.size()];
        insert.bind(0, QString::number(10001 + i));
        insert.bind(1, name);
        insert.bind(2, streets[(i / 2) % streets.size()] + QStringLiteral(", %1").arg(i % 120 + 1) +
                           (site ? QString() : QStringLiteral(", кв. %1").arg(i % 60 + 1)));
        insert.bind(3, QString::number(firstScanner + i));
        insert.bind(4, QString::number(445000 + i * 7));
        insert.bind(5, statuses[i % statuses.size()]);
        insert.bind(6, QStringLiteral("+7916%1").arg(1000000 + i * 13 % 9000000, 7, 10, QChar(u'0')));
        insert.bind(7, site ? QStringLiteral("Электрическая сеть") : QStringLiteral("Аккумулятор"));
        insert.bind(8, i % 3 == 0 ? 1 : 0);
        insert.execute();
    }
    database.commitRetaining();
}

} // namespace vornic
