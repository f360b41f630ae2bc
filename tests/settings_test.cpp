#include "base/DataFolder.h"
#include "base/Failure.h"
#include "base/IniFile.h"
#include "base/Settings.h"
#include "base/Windows1251.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace vornic {
namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    QString path() const { return dir_.filePath(u"options.ini"_s); }

    void putFile(const QByteArray& bytes) const {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QByteArray fileBytes() const {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir_;
};

TEST_F(SettingsTest, ReadsGiveTheDefaultWhenFileSectionOrKeyIsMissing) {
    const IniFile settings(path());
    EXPECT_EQ(settings.readString(u"BD"_s, u"BD_path"_s, u"0"_s), u"0"_s);
    EXPECT_EQ(settings.readInteger(u"TForm1"_s, u"Panel2"_s, 7), 7);
    EXPECT_EQ(settings.readDate(u"TForm10"_s, u"DateTimePicker1"_s, QDate(2020, 1, 2)), QDate(2020, 1, 2));

    putFile("[Other]\r\nPanel2=300\r\n[TForm1]\r\nFIO=12\r\n");
    EXPECT_EQ(settings.readInteger(u"Missing"_s, u"Panel2"_s, 7), 7);
    EXPECT_EQ(settings.readInteger(u"TForm1"_s, u"Panel2"_s, 7), 7); // the key of another section is not taken
    EXPECT_EQ(settings.readInteger(u"Other"_s, u"Panel2"_s, 7), 300);
}

TEST_F(SettingsTest, ReadsTextTrimmedAndUnquoted) {
    putFile("[BD]\nBD_path =  C:\\Base\\x.gdb  \n[Edit_link]\nlink=\"http://host/\"\nempty=\nhalf='abc\n");
    const IniFile settings(path());
    EXPECT_EQ(settings.readString(u"BD"_s, u"BD_path"_s, u"0"_s), u"C:\\Base\\x.gdb"_s);
    EXPECT_EQ(settings.readString(u"Edit_link"_s, u"link"_s, u"0"_s), u"http://host/"_s);
    EXPECT_EQ(settings.readString(u"Edit_link"_s, u"empty"_s, u"0"_s), QString()); // present, so not the default
    EXPECT_EQ(settings.readString(u"Edit_link"_s, u"half"_s, u"0"_s), u"'abc"_s);
}

TEST_F(SettingsTest, IntegerThatIsNotAWholeDecimalNumberGivesTheDefault) {
    const struct {
        QByteArray stored;
        int expected;
    } cases[] = {
        {"42", 42},  {"  42 ", 42}, {"-15", -15}, {"", -1},    {"12abc", -1},
        {"1.5", -1}, {"1,5", -1},   {"0x10", -1}, {"abc", -1}, {"99999999999", -1},
    };
    const IniFile settings(path());
    for (const auto& c : cases) {
        putFile("[TForm2]\r\nEdit1=" + c.stored + "\r\n");
        EXPECT_EQ(settings.readInteger(u"TForm2"_s, u"Edit1"_s, -1), c.expected) << c.stored.constData();
    }
}

TEST_F(SettingsTest, DatesAreDayMonthYearWithDots) {
    const QDate fallback(2000, 1, 1);
    const struct {
        QByteArray stored;
        QDate expected;
    } cases[] = {
        {"05.03.2024", QDate(2024, 3, 5)}, {"5.3.2024", QDate(2024, 3, 5)}, {"31.02.2024", fallback},
        {"2024-03-05", fallback},          {"03/05/2024", fallback},        {"", fallback},
    };
    const IniFile settings(path());
    for (const auto& c : cases) {
        putFile("[TForm10]\r\nDateTimePicker1=" + c.stored + "\r\n");
        EXPECT_EQ(settings.readDate(u"TForm10"_s, u"DateTimePicker1"_s, fallback), c.expected) << c.stored.constData();
    }

    IniFile writer(path());
    writer.writeDate(u"TForm10"_s, u"DateTimePicker1"_s, QDate(2023, 7, 9));
    EXPECT_TRUE(fileBytes().contains("DateTimePicker1=09.07.2023\r\n"));
    EXPECT_EQ(writer.readDate(u"TForm10"_s, u"DateTimePicker1"_s, fallback), QDate(2023, 7, 9));
}

TEST_F(SettingsTest, WriteCreatesTheFileWithCrLfLines) {
    IniFile settings(path());
    settings.writeInteger(u"TForm1"_s, u"Panel2"_s, 488);
    EXPECT_EQ(fileBytes(), QByteArray("[TForm1]\r\nPanel2=488\r\n"));
    settings.writeInteger(u"TForm1"_s, u"DBGrid1_FIO"_s, 120);
    EXPECT_EQ(fileBytes(), QByteArray("[TForm1]\r\nPanel2=488\r\nDBGrid1_FIO=120\r\n"));
}

TEST_F(SettingsTest, WriteChangesOnlyItsOwnEntry) {
    const QByteArray original = "; written by hand\n"
                                "[BD]\n"
                                "BD_path=C:\\x.gdb\n"
                                "\n"
                                "[TForm4]\r\n"
                                "FWidth = 640\r\n"
                                "junk line\r\n"
                                "FHeight=480\r\n"
                                "\r\n"
                                "[TForm11]\n"
                                "FWState=0";
    putFile(original);
    IniFile settings(path());

    settings.writeInteger(u"TForm4"_s, u"FWidth"_s, 800);
    settings.writeString(u"BD"_s, u"NewKey"_s, u"v"_s);
    settings.writeString(u"TForm11"_s, u"FWState"_s, u"2"_s);
    settings.writeInteger(u"TForm13"_s, u"Edit1"_s, 5);

    EXPECT_EQ(fileBytes(), QByteArray("; written by hand\n"
                                      "[BD]\n"
                                      "BD_path=C:\\x.gdb\n"
                                      "NewKey=v\r\n"
                                      "\n"
                                      "[TForm4]\r\n"
                                      "FWidth=800\r\n"
                                      "junk line\r\n"
                                      "FHeight=480\r\n"
                                      "\r\n"
                                      "[TForm11]\n"
                                      "FWState=2\r\n"
                                      "[TForm13]\r\n"
                                      "Edit1=5\r\n"));
}

TEST_F(SettingsTest, SectionAndKeyNamesMatchWithoutRegardToCase) {
    putFile(windows1251::encode(u"[tform4]\r\nfwidth=640\r\n[Отчёт]\r\nПериод=3\r\n"_s).value());
    IniFile settings(path());
    EXPECT_EQ(settings.readInteger(u"TForm4"_s, u"FWidth"_s, 0), 640);
    EXPECT_EQ(settings.readInteger(u"ОТЧЁТ"_s, u"период"_s, 0), 3);

    settings.writeInteger(u"TFORM4"_s, u"FWIDTH"_s, 800);
    EXPECT_EQ(fileBytes(), windows1251::encode(u"[tform4]\r\nfwidth=800\r\n[Отчёт]\r\nПериод=3\r\n"_s).value());
}

TEST_F(SettingsTest, CyrillicTextIsStoredAsWindows1251) {
    IniFile settings(path());
    const QString name = u"Иванов Пётр, ул. Ленина №5"_s;
    settings.writeString(u"Отчёты"_s, u"Абонент"_s, name);

    const QByteArray expected = windows1251::encode(u"[Отчёты]\r\nАбонент="_s + name + u"\r\n"_s).value();
    EXPECT_EQ(fileBytes(), expected);
    EXPECT_TRUE(fileBytes().contains("\xC8\xE2\xE0\xED\xEE\xE2")); // "Иванов", one byte a letter
    EXPECT_EQ(settings.readString(u"Отчёты"_s, u"Абонент"_s, {}), name);
}

TEST_F(SettingsTest, WriteThatCannotBeMadeFailsAndLeavesTheFileAlone) {
    putFile("[S]\r\nk=1\r\n");
    IniFile settings(path());
    for (const QString& value : {u"日本"_s, u"two\nlines"_s}) {
        EXPECT_THROW(settings.writeString(u"S"_s, u"k"_s, value), Failure);
        EXPECT_EQ(fileBytes(), QByteArray("[S]\r\nk=1\r\n"));
    }

    const QString unreachable = dir_.filePath(u"no such folder/options.ini"_s);
    IniFile elsewhere(unreachable);
    try {
        elsewhere.writeInteger(u"S"_s, u"k"_s, 1);
        FAIL() << "no failure";
    } catch (const Failure& failure) {
        EXPECT_TRUE(failure.text().contains(unreachable)) << failure.what();
    }
    EXPECT_FALSE(QDir(dir_.filePath(u"no such folder"_s)).exists());
}

TEST(DataFolderTest, FollowsTheSystemDriveOnWindowsAndXdgElsewhere) {
    const struct {
        QList<std::pair<QString, QString>> environment;
        int version;
        QString expected;
    } cases[] = {
        {{{u"SystemRoot"_s, u"C:\\Windows"_s}}, 6, u"C:\\Users\\Public\\Documents\\Vornic_Client\\"_s},
        {{{u"SystemRoot"_s, u"D:\\WINNT"_s}},
         5,
         u"D:\\Documents and Settings\\All Users\\Application Data\\Vornic_Client\\"_s},
        {{{u"SystemRoot"_s, u"C:\\Windows"_s}},
         4,
         u"C:\\Documents and Settings\\All Users\\Application Data\\Vornic_Client\\"_s},
        {{{u"SystemRoot"_s, u"C:\\Windows"_s}}, 10, u"C:\\"_s},
        {{{u"SystemRoot"_s, u"C:\\Windows"_s}, {u"XDG_DATA_HOME"_s, u"/x"_s}},
         6,
         u"C:\\Users\\Public\\Documents\\Vornic_Client\\"_s},
        {{{u"XDG_DATA_HOME"_s, u"/tmp/data"_s}, {u"HOME"_s, u"/home/op"_s}}, 6, u"/tmp/data/Vornic_Client/"_s},
        {{{u"XDG_DATA_HOME"_s, u"/tmp/data/"_s}}, 10, u"/tmp/data/Vornic_Client/"_s},
        {{{u"HOME"_s, u"/home/op"_s}}, 6, u"/home/op/.local/share/Vornic_Client/"_s},
        {{{u"XDG_DATA_HOME"_s, QString()}, {u"HOME"_s, u"/home/op"_s}}, 6, u"/home/op/.local/share/Vornic_Client/"_s},
        {{{u"XDG_DATA_HOME"_s, u"relative"_s}, {u"HOME"_s, u"/home/op"_s}},
         6,
         u"/home/op/.local/share/Vornic_Client/"_s},
    };
    for (const auto& c : cases) {
        QProcessEnvironment environment;
        for (const auto& [name, value] : c.environment)
            environment.insert(name, value);
        EXPECT_EQ(dataFolderFor(environment, c.version), c.expected) << c.version << " " << c.expected.toStdString();
    }
}

TEST(DataFolderTest, FilesUnderTheFolderUseItsSeparator) {
    EXPECT_EQ(defaultDatabasePath(u"C:\\"_s), u"C:\\DB\\FB_PROJECT.GDB"_s);
    EXPECT_EQ(defaultDatabasePath(u"/home/op/.local/share/Vornic_Client/"_s),
              u"/home/op/.local/share/Vornic_Client/DB/FB_PROJECT.GDB"_s);
    EXPECT_EQ(dataFile(u"/d/"_s, u"options.ini"_s), u"/d/options.ini"_s);
}

TEST_F(SettingsTest, DatabasePathSettingCountsOnlyBeyondThreeCharacters) {
    const QString folder = dir_.path() + u'/';
    const struct {
        QByteArray stored; // empty: no such key
        QString expected;
    } cases[] = {
        {{}, folder + u"DB/FB_PROJECT.GDB"_s},
        {"BD_path=0", folder + u"DB/FB_PROJECT.GDB"_s},
        {"BD_path=C:\\", folder + u"DB/FB_PROJECT.GDB"_s},
        {"BD_path=C:\\a", u"C:\\a"_s},
        {"BD_path=server:/srv/base.gdb", u"server:/srv/base.gdb"_s},
    };
    const IniFile settings(path());
    for (const auto& c : cases) {
        putFile("[BD]\r\n" + c.stored + "\r\n");
        EXPECT_EQ(chooseDatabaseName(settings, folder), c.expected) << c.stored.constData();
    }
}

} // namespace
// The bounds of a number: below them the default, above them the upper bound; a decimal must lie above its
// bound. Read through the same accessor every reader of the file uses.
TEST_F(SettingsTest, NumbersOutsideTheirBoundsGiveTheDefaultOrTheUpperBound) {
    putFile("[Download]\r\nparallel=40\r\nconnect_timeout=0\r\nstall_timeout=-3\r\nrequest_timeout=7\r\n"
            "[Implausible]\r\nfactor=1\r\n[TForm4]\r\nFWidth=-20\r\n");
    const IniFile file(path());
    EXPECT_EQ(readSetting(file, settings::parallelRequests()), 16);
    EXPECT_EQ(readSetting(file, settings::connectTimeout()), 15);
    EXPECT_EQ(readSetting(file, settings::stallTimeout()), 30);
    EXPECT_EQ(readSetting(file, settings::requestTimeout()), 7);
    EXPECT_EQ(readSetting(file, settings::implausibleFactor()), 5.0);
    EXPECT_EQ(readSetting(file, settings::windowWidth(settings::directoryWindowSection())), 0);

    putFile("[Download]\r\nparallel=0\r\n[Implausible]\r\nfactor=2,5\r\n");
    EXPECT_EQ(readSetting(file, settings::parallelRequests()), 8);
    EXPECT_EQ(readSetting(file, settings::implausibleFactor()), 2.5);
}

// README.md lists every section and key with its default and bounds; the list must be the program's own.
TEST(SettingsTable, ReadmeListsEveryKeyTheProgramReadsWithItsDefaultAndBounds) {
    QFile readme(QStringLiteral(VORNIC_SOURCE_DIR "/README.md"));
    ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(readme.readAll());
    static const QRegularExpression row(uR"(^\| `\[([^\]]+)\]` \| `([^`]+)` \| ([^|]*)\| ([^|]*)\|)"_s,
                                        QRegularExpression::MultilineOption);
    QList<settings::SettingRow> listed;
    for (const QRegularExpressionMatch& match : row.globalMatch(text)) {
        QString defaultText = match.captured(3).trimmed();
        defaultText.remove(u'`');
        listed.append({match.captured(1), match.captured(2), defaultText, match.captured(4).trimmed()});
    }
    EXPECT_EQ(listed, settings::allSettings());
}

} // namespace vornic
