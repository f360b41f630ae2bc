#pragma once

#include <QString>

// The texts the operator must see, as the windows show them: one place for the tests that look for them, so that a
// wording is checked against one list rather than copied into each test.
namespace vornic::test::texts {

// The window about the program.
inline const QString kAboutCaption = QStringLiteral("«Ворник Клиент»");
inline const QString kAboutDeveloper = QStringLiteral("Разработчик: ООО «Ворник Телеметрия»");
inline const QString kAboutDescription =
    QStringLiteral("Программа «Ворник Клиент» входит в комплекс системы телеметрии показаний механических счетчиков. "
                   "«Ворник Клиент» предназначена для ведения учета показаний механических счетчиков.");
inline const QString kAboutSite = QStringLiteral("Сайт компании :");

// Main menu commands (their blanks included: they are shown as written).
inline const QString kMenuLoading = QStringLiteral("Загрузка обновленных показаний счётчиков");
inline const QString kMenuImplausible = QStringLiteral("Список  объектов  с некорректными  показаниями");
inline const QString kMenuUnpolled = QStringLiteral("Список  неопрошенных  объектов");

// The buttons that leave a window.
inline const QString kExit = QStringLiteral("Выход");
inline const QString kClose = QStringLiteral("Закрыть");

} // namespace vornic::test::texts
