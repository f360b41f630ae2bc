#pragma once

#include "download/HttpClient.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QThread>

#include <atomic>
#include <memory>
#include <optional>

namespace vornic {
class Database;
class Failure;
class IniFile;
class NamedStatement;
class Statement;
struct AnswerRow;
} // namespace vornic

// One download run: for every chosen object it asks the readings server for the readings of the chosen days,
// stores each new reading with its dial picture, completes readings stored earlier without a value, and reports
// each event as a line of the loading window's log. It frees itself when its run returns.
//
// Its database work goes through the program's connection; each statement with its commit is one unit under the
// database's lock. Its effects on windows are signals, which reach the user-interface thread in the order sent.
class Thread_loadF final : public QThread {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Thread_loadF)

public:
    struct Object {
        QString id;      // ID_OBJECT as text
        QString scanner; // ID_SCANNER as stored
    };

    // The largest readings answer and picture taken; a larger one is refused whole.
    static constexpr qint64 kAnswerLimit = 32 * 1024 * 1024;
    static constexpr qint64 kPictureLimit = 16 * 1024 * 1024;

    // Made on the user-interface thread: reads the server address, the time-outs and how many requests go at once
    // (base/Settings.h) and fixes the days of the run (today and depth - 1 days before). It waits to be started. A
    // run keeps that many requests going: pictures of the rows ahead of the one being stored, and the next object's
    // readings; 1 asks for one thing at a time, in the order the rows are stored.
    Thread_loadF(vornic::Database& database, const vornic::IniFile& settings, int depth, QDate today,
                 QList<Object> objects);
    ~Thread_loadF() override;

    // Takes effect at the next checkpoint, before an object's request or before a row's picture, and gives up the
    // transfers in flight at once; pictures fetched ahead for rows not reached are dropped. Never waits.
    void requestStop() { stopRequested_ = true; }
    // The program is closing: stop, give up a transfer or a parse in progress, and write nothing more.
    void abandon();

    QDate firstDay() const { return firstDay_; }
    QDate lastDay() const { return lastDay_; }
    const QString& baseAddress() const { return baseAddress_; }
    vornic::HttpTimeouts timeouts() const { return timeouts_; }
    int parallel() const { return parallel_; }

Q_SIGNALS:
    void logLine(const QString& text); // a new last line of the log, and the status line
    void answerProgressMaximum(int maximum);
    void answerProgressPosition(int position);
    void objectDone();  // the objects progress bar advances by one
    void runFinished(); // the start button comes back and the main window's readings list is read again

protected:
    void run() override;

private:
    enum class Outcome { Continue, Stop, DatabaseFailed };

    struct StoredReading;
    struct Picture;
    struct RowAhead;
    struct AnswerRows;
    struct ObjectTally;

    Outcome loadObject(qsizetype index);
    void lookAhead(AnswerRows& rows, qsizetype current);
    void examine(AnswerRows& rows, qsizetype index, bool mayRequest);
    void askForNextAnswer(qsizetype index);
    Outcome storeRow(const Object& object, const QString& modemId, const vornic::AnswerRow& row, RowAhead& ahead,
                     ObjectTally& tally);
    Outcome databaseFailed(const QString& modemId, const vornic::Failure& failure);
    // The object's last line: up to date, brought up to date in part, or not at all.
    static QString closingLine(const QString& modemId, const ObjectTally& tally);
    std::optional<StoredReading> lookUp(const QString& id);
    Picture fetchPicture(RowAhead& ahead, const QString& modemId, const vornic::AnswerRow& row);
    bool stopSeen() const { return stopRequested_ || abandoned_; }

    vornic::Database& database_;
    QString baseAddress_;
    vornic::HttpTimeouts timeouts_;
    int parallel_;
    QDate firstDay_;
    QDate lastDay_;
    QList<Object> objects_;
    std::atomic_bool stopRequested_ = false;
    std::atomic_bool abandoned_ = false;

    // Prepared once per run: a row costs its look-up and, when new or completed, one more statement.
    struct Statements;
    std::unique_ptr<Statements> statements_;

    // The run's requests, made on its thread.
    vornic::HttpRequestSet* requests_ = nullptr;
    struct NextAnswer {
        qsizetype index; // of the object
        vornic::HttpRequestSet::Id request;
    };
    std::optional<NextAnswer> nextAnswer_;
};
