// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/historystore.h"

#include "history/historydatabase.h"

#include "platform/registry/atomicfile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include <algorithm>
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
    " correct, response_ms, mode, kind, key_fifths, key_minor, line_position, bar, chord_notes, piece_id)"
    " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
// The first record of an exercise creates its row; later ones bring its counts and end.
const QString UpsertExercise = QStringLiteral(
    "INSERT INTO exercises (session_id, start_ms, end_ms, mode, exam_minutes, notes, errors, exam_completed, kind)"
    " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"
    " ON CONFLICT (session_id) DO UPDATE SET end_ms = excluded.end_ms, mode = excluded.mode,"
    " exam_minutes = excluded.exam_minutes, notes = excluded.notes, errors = excluded.errors,"
    " exam_completed = excluded.exam_completed, kind = excluded.kind");
// A piece's row: its latest title and length, and when it was last practised.
// A record that lacks the title or length keeps the ones known.
const QString UpsertPiece = QStringLiteral(
    "INSERT INTO pieces (id, title, bars, last_ms) VALUES (?, ?, ?, ?)"
    " ON CONFLICT (id) DO UPDATE SET"
    " title = CASE WHEN excluded.title <> '' THEN excluded.title ELSE title END,"
    " bars = CASE WHEN excluded.bars > 0 THEN excluded.bars ELSE bars END,"
    " last_ms = max(last_ms, excluded.last_ms)");
// Valid rows only, packed into one number: few values cross Qt's row interface.
const QString ReplayAnswers = QStringLiteral(
    "SELECT session_id, clef | (staff << 2) | ((correct != 0) << 3) | (mode << 4) | (shown_note << 8)"
    " | (min(max(response_ms, 0), 2147483647) << 16)"
    " FROM answers WHERE time_ms >= ? AND clef BETWEEN 0 AND 3 AND staff BETWEEN 0 AND 1"
    " AND shown_note BETWEEN 21 AND 108 AND mode BETWEEN 0 AND 2"
    " ORDER BY time_ms DESC, id DESC LIMIT %1");

// Answers that could not be written by the end of a run wait beside the
// history in this file, a line each, until a later run adds them.
QString unsavedPath(const QString& path)
{
    return path + QStringLiteral(".unsaved");
}

// Form 2 adds the kind of exercise and the place in a line, form 3 the piece;
// the earlier forms are still read.
const QByteArray UnsavedHeader = QByteArrayLiteral("Tonvero answers not yet in the history, 3");
const QByteArray UnsavedHeaderForm2 = QByteArrayLiteral("Tonvero answers not yet in the history, 2");
const QByteArray UnsavedHeaderForm1 = QByteArrayLiteral("Tonvero answers not yet in the history, 1");

// A text as one word of a line: percent-encoded UTF-8 after an "s", so that
// an empty text is a word too.
QByteArray textWord(const QString& text)
{
    return 's' + text.toUtf8().toPercentEncoding();
}

std::optional<QString> wordText(const QByteArray& word)
{
    if (!word.startsWith('s'))
        return std::nullopt;
    return QString::fromUtf8(QByteArray::fromPercentEncoding(word.mid(1)));
}

QByteArray encodeItems(const std::vector<Item>& items)
{
    QByteArray out = UnsavedHeader + '\n';
    for (const Item& item : items) {
        QList<qint64> f;
        QStringList texts;
        if (const auto* a = std::get_if<AnswerRecord>(&item)) {
            out += "A";
            f = {a->timeMs, a->sessionId, a->clef, a->staff, a->shownNote, int(a->spelling), a->playedNote,
                 int(a->source), a->right ? 1 : 0, a->responseMs, int(a->mode), int(a->kind), a->keyFifths,
                 a->keyMinor ? 1 : 0, a->linePosition, a->bar, a->chordNotes};
            texts = {a->pieceId};
        } else {
            const auto& e = std::get<ExerciseRecord>(item);
            out += "E";
            f = {e.sessionId, e.startMs, e.endMs, int(e.mode), e.examMinutes, e.notes, e.errors,
                 e.examCompleted ? 1 : 0, int(e.kind), e.pieceBars};
            texts = {e.pieceId, e.pieceTitle};
        }
        for (qint64 v : f)
            out += ' ' + QByteArray::number(v);
        for (const QString& t : texts)
            out += ' ' + textWord(t);
        out += '\n';
    }
    return out;
}

// The records of a file written by encodeItems; a line that is not one is
// skipped. None when the file is not of this form (a later version's).
std::optional<std::vector<Item>> decodeItems(const QByteArray& text)
{
    std::vector<Item> items;
    const QList<QByteArray> lines = text.split('\n');
    if (lines.isEmpty()
        || (lines.first() != UnsavedHeader && lines.first() != UnsavedHeaderForm2
            && lines.first() != UnsavedHeaderForm1))
        return std::nullopt;
    // Earlier forms knew less: their records keep the defaults of the fields they lack.
    const bool form1 = lines.first() == UnsavedHeaderForm1;
    const bool form3 = lines.first() == UnsavedHeader;
    const std::size_t answerFields = form1 ? 11 : 17;
    const std::size_t exerciseFields = form1 ? 8 : form3 ? 10 : 9;
    const qsizetype answerTexts = form3 ? 1 : 0;
    const qsizetype exerciseTexts = form3 ? 2 : 0;
    for (const QByteArray& line : lines) {
        const QList<QByteArray> w = line.split(' ');
        const qsizetype textCount = w.first() == "A" ? answerTexts : w.first() == "E" ? exerciseTexts : 0;
        if (w.size() < 1 + textCount)
            continue;
        QStringList texts;
        for (qsizetype i = w.size() - textCount; i < w.size(); ++i) {
            const std::optional<QString> t = wordText(w[i]);
            if (!t)
                break;
            texts << *t;
        }
        if (texts.size() != textCount)
            continue;
        std::vector<qint64> f;
        for (qsizetype i = 1; i < w.size() - textCount; ++i) {
            bool ok = false;
            f.push_back(w[i].toLongLong(&ok));
            if (!ok) {
                f.clear();
                break;
            }
        }
        const auto in = [&](std::size_t i, qint64 lo, qint64 hi) { return f[i] >= lo && f[i] <= hi; };
        if (w.first() == "A" && f.size() == answerFields && in(2, 0, 3) && in(3, 0, 1) && in(4, 0, 127)
            && in(5, 0, 2) && in(6, -1, 127) && in(7, 0, 5) && in(8, 0, 1) && in(9, 0, INT32_MAX) && in(10, 0, 2)
            && (form1
                || (in(11, 0, 2) && in(12, -7, 7) && in(13, 0, 1) && in(14, -1, INT32_MAX) && in(15, -1, INT32_MAX)
                    && in(16, 1, 127)))) {
            AnswerRecord a;
            a.timeMs = f[0];
            a.sessionId = f[1];
            a.clef = int(f[2]);
            a.staff = int(f[3]);
            a.shownNote = int(f[4]);
            a.spelling = Spelling(f[5]);
            a.playedNote = int(f[6]);
            a.source = AnswerSource(f[7]);
            a.right = f[8] != 0;
            a.responseMs = int(f[9]);
            a.mode = ExerciseMode(f[10]);
            if (!form1) {
                a.kind = ExerciseKind(f[11]);
                a.keyFifths = int(f[12]);
                a.keyMinor = f[13] != 0;
                a.linePosition = int(f[14]);
                a.bar = int(f[15]);
                a.chordNotes = int(f[16]);
            }
            if (form3)
                a.pieceId = texts[0];
            items.push_back(a);
        } else if (w.first() == "E" && f.size() == exerciseFields && in(3, 0, 2) && in(4, 0, INT32_MAX)
                   && in(5, 0, INT32_MAX) && in(6, 0, INT32_MAX) && in(7, 0, 1) && (form1 || in(8, 0, 2))
                   && (!form3 || in(9, 0, INT32_MAX))) {
            ExerciseRecord e;
            e.sessionId = f[0];
            e.startMs = f[1];
            e.endMs = f[2];
            e.mode = ExerciseMode(f[3]);
            e.examMinutes = int(f[4]);
            e.notes = int(f[5]);
            e.errors = int(f[6]);
            e.examCompleted = f[7] != 0;
            if (!form1)
                e.kind = ExerciseKind(f[8]);
            if (form3) {
                e.pieceBars = int(f[9]);
                e.pieceId = texts[0];
                e.pieceTitle = texts[1];
            }
            items.push_back(e);
        }
    }
    return items;
}

std::size_t answersIn(const std::vector<Item>& items)
{
    return std::size_t(std::count_if(items.begin(), items.end(),
                                     [](const Item& i) { return std::holds_alternative<AnswerRecord>(i); }));
}

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
    std::optional<QSqlQuery> upsertPiece;
    bool modelLoaded = false;
    bool toldUnopenable = false;
    bool toldWrite = false;
    bool toldNewer = false;
    // Records of the unsaved file taken into `unwritten`, the file to go once they are written.
    std::optional<std::size_t> unsavedTaken; // answers in it
    bool unsavedChecked = false;

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

    // Each file set aside is told of, under the name it now has.
    void tellDamage(const QString& movedTo)
    {
        emit q->notice(HistoryStore::tr("Файл истории упражнений повреждён. Он сохранён как %1 (прежние ответы "
                                        "можно прочитать в нём), начата новая история.")
                           .arg(QDir::toNativeSeparators(movedTo)));
    }

    void run();
    void open();
    void takeUnsaved();
    void written();
    void keepUnwritten();

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
    upsertPiece.reset();
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
        QString moveError, movedTo;
        if (setAside(path, &moveError, &movedTo)) {
            tellDamage(movedTo);
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
    upsertPiece.emplace(db);
    upsertPiece->prepare(UpsertPiece);
    takeUnsaved();
}

void HistoryStore::Writer::takeUnsaved()
{
    if (unsavedChecked)
        return;
    unsavedChecked = true;
    QByteArray text;
    if (platform::readWholeFile(unsavedPath(path), text, qint64(64) << 20) != platform::FileRead::Ok)
        return;
    const std::optional<std::vector<Item>> items = decodeItems(text);
    if (!items)
        return; // left for the version that wrote it
    unsavedTaken = answersIn(*items);
    unwritten.insert(unwritten.begin(), items->begin(), items->end());
}

// After a commit of everything unwritten: the unsaved file, if one was read, has served.
void HistoryStore::Writer::written()
{
    feedModel(unwritten);
    unwritten.clear();
    if (!unsavedTaken)
        return;
    QFile::remove(unsavedPath(path));
    const std::size_t count = *unsavedTaken;
    unsavedTaken.reset();
    emit q->notice(HistoryStore::tr("Ответы прошлого запуска, которые тогда не удалось записать (%1), взяты "
                                    "из %2 и добавлены в историю упражнений.")
                       .arg(count)
                       .arg(QDir::toNativeSeparators(unsavedPath(path))));
}

// At the end of a run, what could not be written waits beside the history for the next one.
void HistoryStore::Writer::keepUnwritten()
{
    if (unwritten.empty())
        return;
    const QString file = QDir::toNativeSeparators(unsavedPath(path));
    if (QDir().mkpath(QFileInfo(path).absolutePath())
        && platform::replaceFileAtomically(unsavedPath(path), encodeItems(unwritten))) {
        emit q->notice(HistoryStore::tr("Ответы этого запуска, которые не удалось записать в историю упражнений "
                                        "(%1), сохранены в %2; при следующем запуске они будут добавлены в историю.")
                           .arg(answersIn(unwritten))
                           .arg(file));
    } else {
        emit q->notice(HistoryStore::tr("Ответы этого запуска (%1) не удалось записать ни в историю упражнений, "
                                        "ни в %2: они потеряны.")
                           .arg(answersIn(unwritten))
                           .arg(file));
    }
    unwritten.clear();
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
            s.bindValue(11, int(a->kind));
            s.bindValue(12, a->keyFifths);
            s.bindValue(13, a->keyMinor ? 1 : 0);
            s.bindValue(14, a->linePosition);
            s.bindValue(15, a->bar);
            s.bindValue(16, a->chordNotes);
            s.bindValue(17, a->pieceId.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(a->pieceId));
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
            s.bindValue(8, int(e.kind));
            ok = s.exec();
            if (!ok)
                *error = s.lastError();
            if (ok && !e.pieceId.isEmpty()) {
                QSqlQuery& p = *upsertPiece;
                p.bindValue(0, e.pieceId);
                // A null text would bind as NULL: an unknown title is an empty one.
                p.bindValue(1, e.pieceTitle.isEmpty() ? QStringLiteral("") : e.pieceTitle);
                p.bindValue(2, std::max(e.pieceBars, 0));
                p.bindValue(3, qint64(std::max(e.startMs, e.endMs)));
                ok = p.exec();
                if (!ok)
                    *error = p.lastError();
            }
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
        QString moveError, movedTo;
        if (setAside(path, &moveError, &movedTo)) {
            tellDamage(movedTo);
            open();
            QSqlError again;
            if (opened && write(&again)) {
                written();
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
            if (write(&error))
                written();
            else
                handleWriteFailure(error);
        } else if (!opened) {
            retryAt = nextOpenAttempt;
            if (unwritten.size() > MaxKept)
                unwritten.erase(unwritten.begin(), unwritten.begin() + std::ptrdiff_t(unwritten.size() - MaxKept));
        }
        if (wantModel && !modelLoaded)
            loadModel();
        const bool writableNow = opened;
        if (stop) {
            if (!unwritten.empty() && !disabled) {
                // One more try at once, whatever the retry delay says.
                nextOpenAttempt = {};
                open();
                QSqlError error;
                if (opened && write(&error))
                    written();
            }
            // Closing checkpoints the journal into the file: outside the lock the answers take.
            closeDatabase();
            keepUnwritten();
            unsavedChecked = false;
            unsavedTaken.reset();
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
        // A piece's row goes with the whole history only: other exercises may have practised it.
        QList<const char*> tables{"answers", "exercises"};
        if (sessionId == 0)
            tables << "pieces";
        for (const char* table : tables) {
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
