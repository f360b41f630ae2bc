#include "ui/readings/Loading_data.h"

#include "base/IniFile.h"
#include "base/Services.h"
#include "base/Settings.h"
#include "db/DataSet.h"
#include "db/Database.h"
#include "db/ObjectsTable.h"
#include "download/DownloadRuns.h"
#include "download/Thread_loadf.h"
#include "ui/common/ErrorReport.h"

#include <QCloseEvent>
#include <QRegularExpressionValidator>

using namespace vornic;

namespace {

constexpr int kLogLinesKept = 10000;

// The depth as the field holds it, when that is a whole number ("007" is 7).
std::optional<int> wholeNumber(const QString& text) {
    bool ok = false;
    const int number = text.toInt(&ok);
    return ok ? std::optional<int>(number) : std::nullopt;
}

} // namespace

TForm2::TForm2(WindowContext& context, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      context_(context), objects_(std::make_unique<DataSet>(context.database)) {
    ui.setupUi(this);
    // A run over many objects logs a line per reading: the window keeps the latest lines, the oldest go.
    ui.Memo1->setMaximumBlockCount(kLogLinesKept);
    // Digits only: every other typed character is dropped.
    ui.Edit1->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), this));
    objects_->setSelectSql(ObjectsTable::kSelectAll);
    ui.Edit1->setText(QString::number(readSetting(context_.settings(), settings::downloadDepth())));
    connect(ui.Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
    connect(ui.Button3, &QPushButton::clicked, this, &QDialog::close);
}

TForm2::~TForm2() = default;

bool TForm2::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return QDialog::event(event);
}

void TForm2::FormActivate() {
    // The objects are read afresh each time the window comes to the front. During a run the worker works from
    // its own copy of the chosen objects, so this cannot disturb it.
    reportFailures([&] {
        objects_->close();
        objects_->open();
    });
}

void TForm2::addLogLine(const QString& text) {
    ui.Memo1->appendPlainText(text);
    ui.Label1->setText(text);
}

void TForm2::Button1Click() {
    const std::optional<int> depth = wholeNumber(ui.Edit1->text());
    if (!depth || *depth < 1 || *depth > 999) {
        context_.services.messages->inform(
            QStringLiteral("Глубина обновления указана в недопустимой форме. Укажите числовое значение от 1-999."));
        return;
    }
    startWhenIdle(*depth);
}

void TForm2::startWhenIdle(int depth) {
    if (!context_.downloads.isRunning()) {
        startRun(depth);
        return;
    }
    // Two runs at once would store the same readings twice. This one starts when the other has ended; a window
    // closed meanwhile takes its wait along.
    ui.Button1->setEnabled(false);
    ui.Label1->setText(QStringLiteral("Предыдущее обновление ещё завершается. Загрузка начнётся после него."));
    connect(
        &context_.downloads, &DownloadRuns::idle, this, [this, depth] { startWhenIdle(depth); },
        Qt::SingleShotConnection);
}

void TForm2::startRun(int depth) {
    ui.Button1->setEnabled(true); // stays enabled when the run cannot be started
    reportFailures([&] {
        objects_->close();
        objects_->setSelectSql(ui.RadioButtonAll->isChecked() ? ObjectsTable::kSelectAll : ObjectsTable::kSelectMarked);
        objects_->open();
        objects_->fetchAll();
        if (!objects_->isEmpty())
            objects_->last();
        ui.ProgressBar2->setMaximum(std::max(objects_->rowCount(), 1));
        ui.ProgressBar2->setValue(0);

        QList<Thread_loadF::Object> chosen;
        const int id = objects_->fieldIndex(ObjectsTable::kId);
        const int scanner = objects_->fieldIndex(ObjectsTable::kScanner);
        for (int row = 0; row < objects_->rowCount(); ++row)
            chosen.append({objects_->value(row, id).toString(), objects_->value(row, scanner).toString()});

        auto* worker =
            new Thread_loadF(context_.database, context_.settings(), depth, context_.services.clock->today(), chosen);
        connect(worker, &Thread_loadF::logLine, this, &TForm2::addLogLine);
        connect(worker, &Thread_loadF::answerProgressMaximum, ui.ProgressBar1, &QProgressBar::setMaximum);
        connect(worker, &Thread_loadF::answerProgressPosition, ui.ProgressBar1, &QProgressBar::setValue);
        connect(worker, &Thread_loadF::objectDone, this,
                [this] { ui.ProgressBar2->setValue(ui.ProgressBar2->value() + 1); });
        connect(worker, &Thread_loadF::runFinished, this, [this] { ui.Button1->setEnabled(true); });
        // The main window reads its readings again even when this window has gone meanwhile.
        connect(worker, &Thread_loadF::runFinished, &context_.changes, &ChangeNotices::readingsChanged);
        worker_ = worker;
        context_.downloads.start(worker);
        ui.Button1->setEnabled(false);
    });
}

void TForm2::FormClose() {
    if (worker_)
        worker_->requestStop(); // the run ends at its next checkpoint; the window does not wait
    if (const std::optional<int> depth = wholeNumber(ui.Edit1->text()))
        reportFailures([&] {
            IniFile settings = context_.settings();
            writeSetting(settings, settings::downloadDepth(), *depth);
        });
}

void TForm2::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}
