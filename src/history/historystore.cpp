// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/historystore.h"

#include "history/historydatabase.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <variant>
#include <vector>

namespace tonvero::history {

namespace {

using Clock = std::chrono::steady_clock;
using Item = std::variant<AnswerRecord, ExerciseRecord>;

// Rows kept in memory while the file cannot take them; beyond that the oldest go.
constexpr std::size_t MaxKept = 200000;
constexpr auto RetryDelay = std::chrono::seconds(5);
// The practice memory reads this much of the past.
constexpr std::int64_t ReplayDays = 90;
constexpr int ReplayLimit = 20000;

const QString InsertAnswer = QStringLiteral(
    "INSERT INTO answers (time_ms, session_id, clef, staff, shown_note, spelling, played_note, source,"
    " correct, response_ms, mode) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
// The first record of an exercise creates its row; later ones bring its counts and end.
const QString UpsertExercise = QStringLiteral(
    "INSERT INTO exercises (session_id, start_ms, end_ms, mode, exam_minutes, notes, errors, exam_completed)"
    " VALUES (?, ?, ?, ?, ?, ?, ?, ?)"
    " ON CONFLICT (session_id) DO UPDATE SET end_ms = excluded.end_ms, mode = excluded.mode,"
    " exam_minutes = excluded.exam_minutes, notes = excluded.notes, errors = excluded.errors,"
    " exam_completed = excluded.exam_completed");
// Valid rows only, packed into one number: few values cross Qt's row interface.
const QString ReplayAnswers = QStringLiteral(
    "SELECT session_id, clef | (staff << 2) | ((correct != 0) << 3) | (mode << 4) | (shown_note << 8)"
    " | (min(max(response_ms, 0), 2147483647) << 16)"
    " FROM answers WHERE time_ms >= ? AND clef BETWEEN 0 AND 3 AND staff BETWEEN 0 AND 1"
    " AND shown_note BETWEEN 21 AND 108 AND mode BETWEEN 0 AND 2"
    " ORDER BY time_ms DESC, id DESC LIMIT %1");

} // namespace

struct HistoryStore::Writer {
    explicit Writer(HistoryStore* owner, QString file) : q(owner), path(std::move(file)) {}

    HistoryStore* q;
    const QString path;

    // Shared with the GUI thread, under m.
    std::mutex m;
    std::condition_variable wake;
    std::condition_variable served;
    std::vector<Item> queue;
    std::thread thread;
    bool running = false;
    bool stopping = false;
    bool modelWanted = false;
    bool modelReady = false;
    std::uint64_t ticketsIssued = 0;
    std::uint64_t ticketsServed = 0;
    bool allWritten = true;
    bool writable = true;

    std::mutex modelMutex;
    PracticeWeights model;

    // The writer thread's own.
    QString connection;
    bool opened = false;
    bool disabled = false; // newer schema: never written
    Clock::time_point nextOpenAttempt{};
    Clock::time_point retryAt{};
    std::vector<Item> unwritten;
    std::optional<QSqlQuery> insertAnswer;
    std::optional<QSqlQuery> upsertExercise;
    bool modelLoaded = false;
    bool toldDamage = false;
    bool toldUnopenable = false;
    bool toldWrite = false;
    bool toldNewer = false;

    void startLocked()
    {
        if (running)
            return;
        if (thread.joinable())
            thread.join();
        running = true;
        stopping = false;
        thread = std::thread([this] { run(); });
    }

    void enqueue(Item item, bool flushNow)
    {
        std::lock_guard lock(m);
        startLocked();
        queue.push_back(item);
        if (flushNow)
            ++ticketsIssued;
        if (flushNow || queue.size() == 1)
            wake.notify_one();
    }

    void tell(bool& told, const QString& text)
    {
        if (told)
            return;
        told = true;
        emit q->notice(text);
    }

    void run();
    void open();
    void closeDatabase();
    bool write(QSqlError* error);
    void handleWriteFailure(const QSqlError& error);
    void loadModel();
    void feedModel(const std::vector<Item>& items);
};

void HistoryStore::Writer::closeDatabase()
{
    insertAnswer.reset();
    upsertExercise.reset();
    closeConnection(connection);
    opened = false;
}

void HistoryStore::Writer::open()
{
    if (opened || disabled || Clock::now() < nextOpenAttempt)
        return;
    QDir().mkpath(QFileInfo(path).absolutePath());
    OpenResult r = openHistoryDatabase(path, connection, true, true);
    if (r.outcome == OpenOutcome::Damaged) {
        closeConnection(connection);
        QString moveError;
        if (setAside(path, &moveError)) {
            tell(toldDamage, HistoryStore::tr("Файл истории упражнений повреждён или не открывается. Он отложен "
                                              "как %1, начата новая история.")
                                 .arg(QDir::toNativeSeparators(setAsidePath(path))));
            r = openHistoryDatabase(path, connection, true, false);
        } else {
            r.outcome = OpenOutcome::Failed;
            r.error = moveError;
        }
    }
    if (r.outcome == OpenOutcome::NewerSchema) {
        closeConnection(connection);
        disabled = true;
        tell(toldNewer, HistoryStore::tr("Файл истории упражнений %1 записан более новой версией Tonvero. "
                                         "Он оставлен как есть, и ответы этого запуска не сохраняются.")
                            .arg(QDir::toNativeSeparators(path)));
        return;
    }
    if (r.outcome != OpenOutcome::Opened) {
        closeConnection(connection);
        nextOpenAttempt = Clock::now() + RetryDelay;
        tell(toldUnopenable, HistoryStore::tr("Историю упражнений не удалось открыть (%1). Ответы пока "
                                              "хранятся в памяти; попытка повторится позже.")
                                 .arg(r.error));
        return;
    }
    opened = true;
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    insertAnswer.emplace(db);
    insertAnswer->prepare(InsertAnswer);
    upsertExercise.emplace(db);
    upsertExercise->prepare(UpsertExercise);
}

bool HistoryStore::Writer::write(QSqlError* error)
{
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    if (!db.transaction()) {
        *error = db.lastError();
        return false;
    }
    for (const Item& item : unwritten) {
        bool ok;
        if (const auto* a = std::get_if<AnswerRecord>(&item)) {
            QSqlQuery& s = *insertAnswer;
            s.bindValue(0, qint64(a->timeMs));
            s.bindValue(1, qint64(a->sessionId));
            s.bindValue(2, a->clef);
            s.bindValue(3, a->staff);
            s.bindValue(4, a->shownNote);
            s.bindValue(5, int(a->spelling));
            s.bindValue(6, a->playedNote);
            s.bindValue(7, int(a->source));
            s.bindValue(8, a->right ? 1 : 0);
            s.bindValue(9, a->responseMs);
            s.bindValue(10, int(a->mode));
            ok = s.exec();
            if (!ok)
                *error = s.lastError();
        } else {
            const auto& e = std::get<ExerciseRecord>(item);
            QSqlQuery& s = *upsertExercise;
            s.bindValue(0, qint64(e.sessionId));
            s.bindValue(1, qint64(e.startMs));
            s.bindValue(2, e.endMs > 0 ? QVariant(qint64(e.endMs)) : QVariant(QMetaType::fromType<qint64>()));
            s.bindValue(3, int(e.mode));
            s.bindValue(4, e.examMinutes);
            s.bindValue(5, e.notes);
            s.bindValue(6, e.errors);
            s.bindValue(7, e.examCompleted ? 1 : 0);
            ok = s.exec();
            if (!ok)
                *error = s.lastError();
        }
        if (!ok) {
            db.rollback();
            return false;
        }
    }
    if (!db.commit()) {
        *error = db.lastError();
        db.rollback();
        return false;
    }
    return true;
}

void HistoryStore::Writer::handleWriteFailure(const QSqlError& error)
{
    if (isDamage(error)) {
        // Damage found while writing: the same treatment as at opening, then one more try.
        closeDatabase();
        QString moveError;
        if (setAside(path, &moveError)) {
            tell(toldDamage, HistoryStore::tr("Файл истории упражнений повреждён или не открывается. Он отложен "
                                              "как %1, начата новая история.")
                                 .arg(QDir::toNativeSeparators(setAsidePath(path))));
            open();
            QSqlError again;
            if (opened && write(&again)) {
                feedModel(unwritten);
                unwritten.clear();
                return;
            }
        }
    }
    tell(toldWrite, HistoryStore::tr("Историю упражнений не удаётся записать (%1). Ответы пока хранятся в "
                                     "памяти; попытка повторится позже.")
                        .arg(error.databaseText().isEmpty() ? error.text() : error.databaseText()));
    retryAt = Clock::now() + RetryDelay;
    if (unwritten.size() > MaxKept)
        unwritten.erase(unwritten.begin(), unwritten.begin() + std::ptrdiff_t(unwritten.size() - MaxKept));
}

void HistoryStore::Writer::feedModel(const std::vector<Item>& items)
{
    if (!modelLoaded)
        return; // the replay will read them from the file
    std::lock_guard lock(modelMutex);
    for (const Item& item : items) {
        if (const auto* a = std::get_if<AnswerRecord>(&item))
            model.add({a->sessionId, a->clef, a->staff, a->shownNote - FirstMidiNote, a->right, a->responseMs, a->mode});
    }
}

void HistoryStore::Writer::loadModel()
{
    PracticeWeights fresh;
    if (opened) {
        QSqlQuery query(QSqlDatabase::database(connection, false));
        query.setForwardOnly(true);
        query.prepare(ReplayAnswers.arg(ReplayLimit));
        query.bindValue(0, QDateTime::currentMSecsSinceEpoch() - ReplayDays * 24 * 3600 * 1000);
        std::vector<PracticeAnswer> recent;
        if (query.exec()) {
            while (query.next()) {
                const qint64 packed = query.value(1).toLongLong();
                recent.push_back({query.value(0).toLongLong(), int(packed & 3), int(packed >> 2 & 1),
                                  int(packed >> 8 & 255) - FirstMidiNote, (packed >> 3 & 1) != 0, int(packed >> 16),
                                  ExerciseMode(packed >> 4 & 3)});
            }
        }
        for (auto it = recent.rbegin(); it != recent.rend(); ++it)
            fresh.add(*it);
    }
    std::lock_guard lock(modelMutex);
    model = fresh;
    modelLoaded = true;
}

void HistoryStore::Writer::run()
{
    // A name of this run's own: a run that ends may still be closing while the next begins.
    static std::atomic<int> runs{0};
    connection = QStringLiteral("tonvero-history-writer-%1").arg(++runs);
    std::vector<Item> batch;
    for (;;) {
        std::uint64_t serving = 0;
        bool stop = false;
        bool wantModel = false;
        {
            std::unique_lock lock(m);
            const auto urgent = [&] { return stopping || ticketsIssued > ticketsServed || (modelWanted && !modelReady); };
            const auto ready = [&] { return urgent() || !queue.empty(); };
            if (unwritten.empty())
                wake.wait(lock, ready);
            else
                wake.wait_until(lock, retryAt, ready);
            // Let the answers of the next moment join this transaction.
            if (!urgent())
                wake.wait_for(lock, std::chrono::milliseconds(BatchDelayMs), urgent);
            batch.swap(queue);
            serving = ticketsIssued;
            stop = stopping;
            wantModel = modelWanted && !modelReady;
        }

        unwritten.insert(unwritten.end(), batch.begin(), batch.end());
        batch.clear();
        open();
        if (disabled) {
            unwritten.clear();
        } else if (opened && !unwritten.empty()) {
            QSqlError error;
            if (write(&error)) {
                feedModel(unwritten);
                unwritten.clear();
            } else {
                handleWriteFailure(error);
            }
        } else if (!opened) {
            retryAt = nextOpenAttempt;
            if (unwritten.size() > MaxKept)
                unwritten.erase(unwritten.begin(), unwritten.begin() + std::ptrdiff_t(unwritten.size() - MaxKept));
        }
        if (wantModel && !modelLoaded)
            loadModel();
        const bool writableNow = opened;
        if (stop) {
            // Closing checkpoints the journal into the file: outside the lock the answers take.
            closeDatabase();
            // What could not be written is lost with the process; the notice said so.
            unwritten.clear();
            modelLoaded = false;
        }

        {
            std::lock_guard lock(m);
            ticketsServed = std::max(ticketsServed, serving);
            allWritten = unwritten.empty();
            writable = writableNow;
            if (wantModel)
                modelReady = true;
            if (stop) {
                // From here on the thread touches nothing of the store: a new run may start.
                ticketsServed = ticketsIssued;
                modelReady = false;
                stopping = false;
                running = false;
            }
        }
        served.notify_all();
        if (stop)
            return;
    }
}

QString HistoryStore::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/Tonvero/history.sqlite");
}

HistoryStore::HistoryStore(const QString& path, QObject* parent)
    : QObject(parent), d(std::make_unique<Writer>(this, path))
{
}

HistoryStore::~HistoryStore()
{
    // Until no run is left, should a record have started one while the last was closing.
    for (;;) {
        close();
        std::lock_guard lock(d->m);
        if (!d->running && !d->thread.joinable())
            break;
    }
}

QString HistoryStore::path() const
{
    return d->path;
}

void HistoryStore::exerciseStarted(const ExerciseRecord& exercise)
{
    d->enqueue(exercise, false);
}

void HistoryStore::answered(const AnswerRecord& answer)
{
    d->enqueue(answer, false);
}

void HistoryStore::exercisePaused(const ExerciseRecord& exercise)
{
    d->enqueue(exercise, true);
}

void HistoryStore::exerciseEnded(const ExerciseRecord& exercise)
{
    d->enqueue(exercise, true);
}

void HistoryStore::preload()
{
    std::lock_guard lock(d->m);
    d->startLocked();
    d->modelWanted = true;
    d->wake.notify_one();
}

bool HistoryStore::flush(int timeoutMs)
{
    std::unique_lock lock(d->m);
    d->startLocked();
    const std::uint64_t ticket = ++d->ticketsIssued;
    d->wake.notify_one();
    const bool served = d->served.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                           [&] { return d->ticketsServed >= ticket; });
    return served && d->allWritten && d->writable;
}

void HistoryStore::close()
{
    std::thread finishing;
    {
        std::lock_guard lock(d->m);
        if (d->running) {
            d->stopping = true;
            d->wake.notify_one();
        }
        // A record arriving meanwhile starts a new run, which must not be the one joined here.
        finishing = std::move(d->thread);
    }
    if (finishing.joinable())
        finishing.join();
}

PracticeChances HistoryStore::practiceChances(int clef)
{
    {
        std::unique_lock lock(d->m);
        d->startLocked();
        d->modelWanted = true;
        const std::uint64_t ticket = ++d->ticketsIssued;
        d->wake.notify_one();
        // Bounded: a file on a stalled disk must not keep the exercise from starting.
        d->served.wait_for(lock, std::chrono::seconds(3),
                           [&] { return d->ticketsServed >= ticket && d->modelReady; });
    }
    std::lock_guard lock(d->modelMutex);
    return d->model.chancesForClef(clef);
}

bool HistoryStore::isWritable() const
{
    std::lock_guard lock(d->m);
    return d->writable;
}

bool HistoryStore::forgetExercise(qint64 sessionId, QString* error)
{
    return forget(sessionId, error);
}

bool HistoryStore::forgetAll(QString* error)
{
    return forget(0, error);
}

bool HistoryStore::forget(qint64 sessionId, QString* error)
{
    // What is pending goes in first and the writer stops: the next record starts
    // it again, and it reads the practice memory anew, without what was deleted.
    close();
    static std::atomic<int> uses{0};
    const QString name = QStringLiteral("tonvero-history-forget-%1").arg(++uses);
    const OpenResult r = openHistoryDatabase(path(), name, false, false);
    if (r.outcome == OpenOutcome::Missing) {
        closeConnection(name);
        return true; // nothing was ever written
    }
    if (r.outcome != OpenOutcome::Opened) {
        closeConnection(name);
        if (error)
            *error = r.outcome == OpenOutcome::NewerSchema
                ? tr("файл записан более новой версией Tonvero и остаётся как есть")
                : r.error.isEmpty() ? tr("файл истории не открывается") : r.error;
        return false;
    }
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        QSqlQuery query(db);
        ok = db.transaction();
        for (const char* table : {"answers", "exercises"}) {
            if (!ok)
                break;
            const QString where = sessionId != 0 ? QStringLiteral(" WHERE session_id = ?") : QString();
            ok = query.prepare(QStringLiteral("DELETE FROM %1%2").arg(QLatin1String(table), where));
            if (ok && sessionId != 0)
                query.addBindValue(sessionId);
            ok = ok && query.exec();
        }
        if (ok)
            ok = db.commit();
        if (!ok) {
            if (error)
                *error = query.lastError().isValid() ? query.lastError().text() : db.lastError().text();
            db.rollback();
        }
    }
    closeConnection(name);
    return ok;
}

} // namespace tonvero::history
