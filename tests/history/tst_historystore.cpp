// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/historydatabase.h"
#include "history/historyqueries.h"
#include "history/historystore.h"
#include "history/historyfixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cstdio>
#include <unistd.h>

using namespace tonvero;
using namespace tonvero::history;
using namespace historytest;

namespace {

// The first schema as it shipped, frozen here: files written by that version must keep opening.
const char* const SchemaVersion1[] = {
    "CREATE TABLE exercises ( session_id INTEGER PRIMARY KEY, start_ms INTEGER NOT NULL, end_ms INTEGER,"
    " mode INTEGER NOT NULL, exam_minutes INTEGER NOT NULL DEFAULT 0, notes INTEGER NOT NULL DEFAULT 0,"
    " errors INTEGER NOT NULL DEFAULT 0, exam_completed INTEGER NOT NULL DEFAULT 0)",
    "CREATE TABLE answers ( id INTEGER PRIMARY KEY, time_ms INTEGER NOT NULL, session_id INTEGER NOT NULL,"
    " clef INTEGER NOT NULL, staff INTEGER NOT NULL, shown_note INTEGER NOT NULL, spelling INTEGER NOT NULL,"
    " played_note INTEGER NOT NULL, source INTEGER NOT NULL, correct INTEGER NOT NULL,"
    " response_ms INTEGER NOT NULL, mode INTEGER NOT NULL)",
    "CREATE INDEX answers_by_time ON answers(time_ms)",
    "CREATE INDEX answers_by_session ON answers(session_id)",
    "INSERT INTO exercises VALUES (1000, 1000, 61000, 1, 0, 2, 1, 0)",
    "INSERT INTO answers VALUES (NULL, 2000, 1000, 0, 0, 60, 0, 60, 0, 1, 900, 1)",
    "INSERT INTO answers VALUES (NULL, 3000, 1000, 0, 0, 62, 0, 61, 4, 0, 1500, 1)",
    "PRAGMA user_version = 1",
};

// The second schema as it shipped (the first and lines of music), with a phrase answered.
const char* const SchemaVersion2[] = {
    "ALTER TABLE answers ADD COLUMN kind INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE answers ADD COLUMN key_fifths INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE answers ADD COLUMN key_minor INTEGER NOT NULL DEFAULT 0",
    "ALTER TABLE answers ADD COLUMN line_position INTEGER NOT NULL DEFAULT -1",
    "ALTER TABLE answers ADD COLUMN bar INTEGER NOT NULL DEFAULT -1",
    "ALTER TABLE answers ADD COLUMN chord_notes INTEGER NOT NULL DEFAULT 1",
    "ALTER TABLE exercises ADD COLUMN kind INTEGER NOT NULL DEFAULT 0",
    "CREATE INDEX answers_by_kind ON answers(kind, time_ms)",
    "INSERT INTO exercises VALUES (2000000, 2000000, 2060000, 1, 0, 1, 0, 0, 1)",
    "INSERT INTO answers VALUES (NULL, 2001000, 2000000, 0, 0, 67, 0, 67, 0, 1, 800, 1, 1, -2, 0, 3, 1, 2)",
    "PRAGMA user_version = 2",
};

// Writes a file with the given statements through a connection of its own.
bool writeFile(const QString& path, const QStringList& statements)
{
    Peek peek(path);
    if (!peek.ok())
        return false;
    for (const QString& sql : statements) {
        QSqlQuery q(peek.db());
        if (!q.exec(sql)) {
            qWarning() << sql << q.lastError().text();
            return false;
        }
    }
    return true;
}

QStringList statements(const char* const* begin, const char* const* end)
{
    QStringList out;
    for (auto it = begin; it != end; ++it)
        out << QString::fromLatin1(*it);
    return out;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The child of the kill test: answers every few ms until it is killed, and
// prints each answer's number and time after the store has taken it.
int answerUntilKilled(const QString& path)
{
    HistoryStore store(path);
    const qint64 session = QDateTime::currentMSecsSinceEpoch();
    store.exerciseStarted(exercise(session));
    for (int i = 0; i < 20000; ++i) {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        // The answer's number travels in its response time.
        store.answered(answer(session, now, 39 + i % 24, i % 5 != 0, i));
        std::printf("%d %lld\n", i, static_cast<long long>(now));
        std::fflush(stdout);
        QThread::msleep(4);
    }
    return 0;
}

} // namespace

class TestHistoryStore : public QObject {
    Q_OBJECT
private slots:
    void init();
    void opensAndMigrates_data();
    void opensAndMigrates();
    void newerSchemaIsLeftAlone();
    void exerciseRowsAsHandedOver();
    void exerciseWithoutEndStillCounts();
    void damagedFileIsSetAside_data();
    void damagedFileIsSetAside();
    void unopenableLocationKeepsTraining();
    void everySetAsideFileIsKept_data();
    void everySetAsideFileIsKept();
    void otherFailuresLeaveTheFileAlone_data();
    void otherFailuresLeaveTheFileAlone();
    void unwrittenAnswersOutliveTheRun_data();
    void unwrittenAnswersOutliveTheRun();
    void killedWhileAnswering();
    void restartsAfterClose();
    void version1RowsReadAsSingleNotes();
    void failedMigrationLeavesTheFile();
    void lineFieldsRoundTrip_data();
    void lineFieldsRoundTrip();
    void unsavedFileOfEarlierForm();
    void version2RowsHaveNoPiece();
    void pieceRoundTrip_data();
    void pieceRoundTrip();
    void unsavedFileOfForm2();
    void forgettingAndPieces();

private:
    QTemporaryDir m_dir;
    QString m_path;
};

void TestHistoryStore::init()
{
    QVERIFY(m_dir.isValid());
    m_path = m_dir.filePath(QStringLiteral("h%1/history.sqlite").arg(QDateTime::currentMSecsSinceEpoch()));
    QDir().mkpath(QFileInfo(m_path).absolutePath());
}

void TestHistoryStore::opensAndMigrates_data()
{
    QTest::addColumn<QString>("start"); // what lies at the path before the store opens it
    QTest::addColumn<int>("oldAnswers");
    QTest::newRow("no file") << "none" << 0;
    QTest::newRow("empty file") << "empty" << 0;
    QTest::newRow("version 1 with answers") << "v1" << 2;
}

void TestHistoryStore::opensAndMigrates()
{
    QFETCH(QString, start);
    QFETCH(int, oldAnswers);
    if (start == QLatin1String("empty")) {
        QFile f(m_path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    } else if (start == QLatin1String("v1")) {
        QVERIFY(writeFile(m_path, statements(std::begin(SchemaVersion1), std::end(SchemaVersion1))));
    }

    {
        HistoryStore store(m_path);
        QSignalSpy notices(&store, &HistoryStore::notice);
        store.exerciseStarted(exercise(5000));
        store.answered(answer(5000, 6000, 40, true, 700));
        QVERIFY(store.flush());
        QVERIFY(store.isWritable());
        QCOMPARE(notices.count(), 0);
    }

    Peek peek(m_path);
    QVERIFY(peek.ok());
    QCOMPARE(peek.scalar(QStringLiteral("PRAGMA user_version")).toInt(), latestSchemaVersion());
    QCOMPARE(peek.scalar(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("wal"));
    QCOMPARE(peek.scalar(QStringLiteral("SELECT count(*) FROM answers")).toInt(), oldAnswers + 1);
    QCOMPARE(peek.scalar(QStringLiteral("SELECT count(*) FROM exercises")).toInt(), oldAnswers > 0 ? 2 : 1);
    if (oldAnswers > 0) {
        // The old rows are there as they were.
        QCOMPARE(peek.column(QStringLiteral("SELECT response_ms FROM answers ORDER BY id")),
                 (QVariantList{900, 1500, 700}));
        QCOMPARE(peek.scalar(QStringLiteral("SELECT end_ms FROM exercises WHERE session_id = 1000")).toLongLong(),
                 61000);
    }
    QVERIFY(!QFile::exists(m_path + QStringLiteral(".bad")));
}

void TestHistoryStore::newerSchemaIsLeftAlone()
{
    QVERIFY(writeFile(m_path, {QStringLiteral("CREATE TABLE future (x)"), QStringLiteral("PRAGMA user_version = 99")}));
    const QByteArray before = readAll(m_path);
    {
        HistoryStore store(m_path);
        QSignalSpy notices(&store, &HistoryStore::notice);
        store.exerciseStarted(exercise(5000));
        store.answered(answer(5000, 6000, 40, true, 700));
        QVERIFY(!store.flush());
        QVERIFY(!store.isWritable());
        QCOMPARE(notices.count(), 1);
        QVERIFY(notices.at(0).at(0).toString().contains(QStringLiteral("более новой версией")));
        store.answered(answer(5000, 7000, 40, true, 700));
        store.flush();
        QCOMPARE(notices.count(), 1); // told once
        // Nothing to draw from, and no crash.
        const PracticeChances chances = store.practiceChances(0);
        QCOMPARE(chances, PracticeChances{});
    }
    QCOMPARE(readAll(m_path), before);
    QVERIFY(!QFile::exists(m_path + QStringLiteral(".bad")));
}

void TestHistoryStore::exerciseRowsAsHandedOver()
{
    const qint64 s = 1'700'000'000'000;
    ExerciseRecord ex = exercise(s, ExerciseMode::Exam, 2);
    QVector<AnswerRecord> answers{
        answer(s, s + 1500, 39, true, 1500, 3, 0, Spelling::Natural, AnswerSource::Piano, ExerciseMode::Exam),
        answer(s, s + 2600, 40, false, 1100, 3, 0, Spelling::Sharp, AnswerSource::Guitar, ExerciseMode::Exam),
        answer(s, s + 4000, 18, true, 900, 3, 1, Spelling::Flat, AnswerSource::Bass, ExerciseMode::Exam),
        answer(s, s + 5000, 20, true, 800, 3, 1, Spelling::Natural, AnswerSource::Midi, ExerciseMode::Exam),
        answer(s, s + 6500, 44, true, 1000, 3, 0, Spelling::Natural, AnswerSource::Microphone, ExerciseMode::Exam),
    };
    // The computer keyboard's wrong answer carries no pitch.
    AnswerRecord keys = answer(s, s + 9000, 41, false, 2500, 3, 0, Spelling::Natural,
                               AnswerSource::ComputerKeyboard, ExerciseMode::Exam);
    keys.playedNote = -1;
    answers.push_back(keys);

    HistoryStore store(m_path);
    store.exerciseStarted(ex);
    for (int i = 0; i < 3; ++i)
        store.answered(answers[i]);
    ex.notes = 3;
    ex.errors = 1;
    store.exercisePaused(ex);
    QVERIFY(store.flush());
    {
        Peek peek(m_path);
        // A paused exercise has its counts but no end yet.
        QCOMPARE(peek.rows(QStringLiteral("SELECT start_ms, end_ms IS NULL, notes, errors, exam_completed FROM exercises")),
                 (QVector<QVariantList>{{s, 1, 3, 1, 0}}));
    }
    for (int i = 3; i < answers.size(); ++i)
        store.answered(answers[i]);
    ex.endMs = s + 120000;
    ex.notes = 6;
    ex.errors = 2;
    ex.examCompleted = true;
    store.exerciseEnded(ex);
    QVERIFY(store.flush());

    Peek peek(m_path);
    const auto rows = peek.rows(QStringLiteral(
        "SELECT time_ms, session_id, clef, staff, shown_note, spelling, played_note, source, correct,"
        " response_ms, mode FROM answers ORDER BY id"));
    QCOMPARE(rows.size(), answers.size());
    for (int i = 0; i < rows.size(); ++i) {
        const AnswerRecord& a = answers[i];
        const QVariantList expected{qint64(a.timeMs), qint64(a.sessionId), a.clef, a.staff, a.shownNote,
                                    int(a.spelling), a.playedNote, int(a.source), a.right ? 1 : 0,
                                    a.responseMs, int(a.mode)};
        QCOMPARE(rows[i], expected);
    }
    QCOMPARE(peek.rows(QStringLiteral("SELECT session_id, start_ms, end_ms, mode, exam_minutes, notes, errors,"
                                      " exam_completed FROM exercises")),
             (QVector<QVariantList>{{s, s, s + 120000, 2, 2, 6, 2, 1}}));
}

void TestHistoryStore::exerciseWithoutEndStillCounts()
{
    const qint64 s = noonDaysAgo(1);
    {
        HistoryStore store(m_path);
        store.exerciseStarted(exercise(s));
        store.answered(answer(s, s + 1000, 40, true, 1000));
        store.answered(answer(s, s + 3000, 41, false, 2000));
        // No end: the process went away.
    }
    HistoryQueries queries(m_path);
    const StatisticsData data = queries.statistics({});
    QVERIFY2(data.error.isEmpty(), qPrintable(data.error));
    QCOMPARE(data.exercises.size(), 1);
    QCOMPARE(data.exercises[0].answers, 2);
    QCOMPARE(data.exercises[0].right, 1);
    QVERIFY(!data.exercises[0].ended);
    QCOMPARE(data.exercises[0].startMs, s);
    QCOMPARE(data.days.size(), 1);
}

void TestHistoryStore::damagedFileIsSetAside_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("not a database") << "garbage";
    QTest::newRow("not a database, with a journal") << "garbage+wal";
    QTest::newRow("database cut short") << "truncated";
}

void TestHistoryStore::damagedFileIsSetAside()
{
    QFETCH(QString, kind);
    QByteArray original;
    if (kind.startsWith(QLatin1String("garbage"))) {
        original = QByteArray("This is no database at all, only words. ").repeated(200);
        QFile f(m_path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(original);
        if (kind.endsWith(QLatin1String("wal"))) {
            QFile wal(m_path + QStringLiteral("-wal"));
            QVERIFY(wal.open(QIODevice::WriteOnly));
            wal.write("stale journal");
        }
    } else if (kind == QLatin1String("truncated")) {
        QStringList sql = statements(std::begin(SchemaVersion1), std::end(SchemaVersion1));
        sql << QStringLiteral("PRAGMA journal_mode = DELETE");
        for (int i = 0; i < 40; ++i)
            sql << QStringLiteral("INSERT INTO answers SELECT NULL, time_ms + %1, session_id, clef, staff, shown_note,"
                                  " spelling, played_note, source, correct, response_ms, mode FROM answers LIMIT 200")
                       .arg(i);
        QVERIFY(writeFile(m_path, sql));
        QFile f(m_path);
        QVERIFY(f.size() > 8 * 4096);
        QVERIFY(f.resize(f.size() / 2));
        original = readAll(m_path);
    }
    HistoryStore store(m_path);
    QSignalSpy notices(&store, &HistoryStore::notice);
    store.exerciseStarted(exercise(5000));
    store.answered(answer(5000, 6000, 40, true, 700));
    QVERIFY(store.flush());
    store.answered(answer(5000, 7000, 41, true, 700));
    QVERIFY(store.flush());

    QCOMPARE(notices.count(), 1);
    const QString text = notices.at(0).at(0).toString();
    const QString aside = m_path + QStringLiteral(".bad");
    QVERIFY2(text.contains(QDir::toNativeSeparators(aside)), qPrintable(text));
    // The damaged file is kept, untouched, under its new name.
    QCOMPARE(readAll(aside), original);
    // A journal of the damaged file never pairs with the new one.
    if (kind.endsWith(QLatin1String("wal")))
        QVERIFY(!readAll(m_path + QStringLiteral("-wal")).contains("stale journal"));

    // Training went on in a new file.
    Peek peek(m_path);
    QCOMPARE(peek.scalar(QStringLiteral("SELECT count(*) FROM answers")).toInt(), 2);
}

void TestHistoryStore::unopenableLocationKeepsTraining()
{
    // A regular file where the folder should be: nothing can be created, nothing can be set aside.
    const QString blocker = m_dir.filePath(QStringLiteral("blocker"));
    {
        QFile f(blocker);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    HistoryStore store(blocker + QStringLiteral("/Tonvero/history.sqlite"));
    QSignalSpy notices(&store, &HistoryStore::notice);
    store.exerciseStarted(exercise(5000));
    for (int i = 0; i < 100; ++i)
        store.answered(answer(5000, 6000 + i, 40, true, 700));
    QVERIFY(!store.flush());
    QVERIFY(!store.isWritable());
    QCOMPARE(store.practiceChances(3), PracticeChances{});
    store.exerciseEnded(exercise(5000));
    QVERIFY(!store.flush());
    QCOMPARE(notices.count(), 1);
    QVERIFY(notices.at(0).at(0).toString().contains(QStringLiteral("не удалось открыть")));
    QCOMPARE(readAll(blocker), QByteArray("x"));
}

void TestHistoryStore::everySetAsideFileIsKept_data()
{
    QTest::addColumn<int>("times");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("damaged twice") << 2 << QStringList{".bad", ".2.bad"};
    QTest::newRow("damaged three times") << 3 << QStringList{".bad", ".2.bad", ".3.bad"};
}

void TestHistoryStore::everySetAsideFileIsKept()
{
    QFETCH(int, times);
    QFETCH(QStringList, names);
    for (int i = 0; i < times; ++i) {
        const QByteArray garbage = QByteArray("Damaged history number ") + QByteArray::number(i) + ". ";
        {
            QFile f(m_path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(garbage.repeated(100));
        }
        HistoryStore store(m_path);
        QSignalSpy notices(&store, &HistoryStore::notice);
        store.exerciseStarted(exercise(5000 + i));
        QVERIFY(store.flush());
        QCOMPARE(notices.count(), 1);
        // Each notice says where this file went.
        const QString text = notices.at(0).at(0).toString();
        QVERIFY2(text.contains(QDir::toNativeSeparators(m_path + names[i])), qPrintable(text));
        store.close();
        QFile::remove(m_path + QStringLiteral("-wal"));
        QFile::remove(m_path + QStringLiteral("-shm"));
        QFile::remove(m_path);
    }
    for (int i = 0; i < times; ++i)
        QVERIFY2(readAll(m_path + names[i]).startsWith("Damaged history number " + QByteArray::number(i)),
                 qPrintable(names[i]));
}

void TestHistoryStore::otherFailuresLeaveTheFileAlone_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("a folder in its place") << "folder";
    QTest::newRow("a folder in place of its journal") << "wal folder";
    QTest::newRow("unreadable file") << "unreadable";
    QTest::newRow("read-only folder") << "read-only folder";
}

void TestHistoryStore::otherFailuresLeaveTheFileAlone()
{
    QFETCH(QString, kind);
    const bool root = ::geteuid() == 0;
    if (root && (kind == QLatin1String("unreadable") || kind == QLatin1String("read-only folder")))
        QSKIP("root reads and writes anything");
    const QString folder = QFileInfo(m_path).absolutePath();
    if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(m_path + QStringLiteral("/inside")));
    } else {
        // A healthy history in WAL mode, with answers.
        {
            HistoryStore first(m_path);
            first.exerciseStarted(exercise(1000));
            first.answered(answer(1000, 2000, 40, true, 700));
            QVERIFY(first.flush());
        }
        if (kind == QLatin1String("wal folder"))
            QVERIFY(QDir().mkpath(m_path + QStringLiteral("-wal/inside")));
        else if (kind == QLatin1String("unreadable"))
            QFile::setPermissions(m_path, QFileDevice::Permissions());
        else
            QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }
    const QByteArray before = QFileInfo(m_path).isFile() ? readAll(m_path) : QByteArray();

    {
        HistoryStore store(m_path);
        QSignalSpy notices(&store, &HistoryStore::notice);
        store.exerciseStarted(exercise(5000));
        store.answered(answer(5000, 6000, 40, true, 700));
        QVERIFY(!store.flush());
        QCOMPARE(notices.count(), 1);
        QVERIFY2(notices.at(0).at(0).toString().contains(QStringLiteral("не удалось открыть")),
                 qPrintable(notices.at(0).at(0).toString()));
        store.close();
    }
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    // Nothing set aside; the file and whatever stands in its place are as they were.
    QVERIFY(!QFileInfo::exists(m_path + QStringLiteral(".bad")));
    if (kind == QLatin1String("folder"))
        QVERIFY(QFileInfo::exists(m_path + QStringLiteral("/inside")));
    else
        QCOMPARE(readAll(m_path), before);
    if (kind == QLatin1String("wal folder"))
        QVERIFY(QFileInfo::exists(m_path + QStringLiteral("-wal/inside")));
}

void TestHistoryStore::unwrittenAnswersOutliveTheRun_data()
{
    QTest::addColumn<QString>("blocker");  // what stands where the history's file or journal should be
    QTest::addColumn<bool>("clearedBeforeQuit");
    QTest::newRow("folder in its place, gone before quit") << "" << true;
    QTest::newRow("folder in its place, still there at quit") << "" << false;
    QTest::newRow("folder in place of its journal, still there at quit") << "-wal" << false;
}

void TestHistoryStore::unwrittenAnswersOutliveTheRun()
{
    QFETCH(QString, blocker);
    QFETCH(bool, clearedBeforeQuit);
    if (!blocker.isEmpty()) {
        HistoryStore first(m_path);
        first.exerciseStarted(exercise(1000));
        QVERIFY(first.flush());
    }
    const QString block = m_path + blocker;
    QVERIFY(QDir().mkpath(block + QStringLiteral("/inside")));
    const QString unsaved = m_path + QStringLiteral(".unsaved");

    const int count = 300;
    {
        HistoryStore store(m_path);
        QSignalSpy notices(&store, &HistoryStore::notice);
        store.exerciseStarted(exercise(5000));
        for (int i = 0; i < count; ++i)
            store.answered(answer(5000, 6000 + i, 30 + i % 40, i % 3 != 0, 500 + i));
        QVERIFY(!store.flush());
        if (clearedBeforeQuit)
            QVERIFY(QDir(block).removeRecursively());
        store.close(); // at quit
        QVERIFY(notices.count() >= 1);
        const QString last = notices.last().at(0).toString();
        if (clearedBeforeQuit) {
            QVERIFY(!QFileInfo::exists(unsaved));
        } else {
            QVERIFY(QFileInfo::exists(unsaved));
            QVERIFY2(last.contains(QDir::toNativeSeparators(unsaved)) && last.contains(QString::number(count)),
                     qPrintable(last));
        }
    }
    if (!clearedBeforeQuit) {
        QVERIFY(QDir(block).removeRecursively());
        // The next start reads them back, and says so.
        HistoryStore next(m_path);
        QSignalSpy notices(&next, &HistoryStore::notice);
        next.preload();
        QVERIFY(next.flush());
        QCOMPARE(notices.count(), 1);
        QVERIFY2(notices.at(0).at(0).toString().contains(QString::number(count)),
                 qPrintable(notices.at(0).at(0).toString()));
        QVERIFY(!QFileInfo::exists(unsaved));
    }
    Peek peek(m_path);
    QCOMPARE(peek.scalar(QStringLiteral("SELECT count(*) FROM answers WHERE session_id = 5000")).toInt(), count);
    QCOMPARE(peek.scalar(QStringLiteral("SELECT sum(response_ms) FROM answers WHERE session_id = 5000")).toLongLong(),
             qint64(count) * 500 + qint64(count) * (count - 1) / 2);
    QCOMPARE(peek.scalar(QStringLiteral("SELECT count(*) FROM exercises WHERE session_id = 5000")).toInt(), 1);
}

void TestHistoryStore::killedWhileAnswering()
{
#if defined(__SANITIZE_THREAD__)
    // ThreadSanitizer stops a threaded process that forks (unless die_after_fork=0);
    // this test is about the file, not about threads.
    if (!qEnvironmentVariable("TSAN_OPTIONS").contains(QLatin1String("die_after_fork=0")))
        QSKIP("ThreadSanitizer does not allow starting the child");
#endif
    QProcess child;
    child.setProgram(QCoreApplication::applicationFilePath());
    child.setArguments({QStringLiteral("--answer-until-killed"), m_path});
    child.start();
    QVERIFY(child.waitForStarted());

    // Let it answer for a while, across several commits.
    QElapsedTimer clock;
    clock.start();
    QByteArray out;
    while (clock.elapsed() < 2500 && child.state() == QProcess::Running) {
        child.waitForReadyRead(100);
        out += child.readAllStandardOutput();
    }
    QVERIFY(child.state() == QProcess::Running);
    const qint64 killedAt = QDateTime::currentMSecsSinceEpoch();
    child.kill(); // SIGKILL: no destructor, no flush
    QVERIFY(child.waitForFinished());
    out += child.readAllStandardOutput();

    QVector<qint64> handedAt;
    for (const QByteArray& line : out.split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 2)
            handedAt.push_back(parts[1].toLongLong());
    }
    QVERIFY2(handedAt.size() > 100, qPrintable(QString::number(handedAt.size())));

    // The file opens, and holds every answer handed over more than a second before the kill,
    // in order and without gaps.
    HistoryStore reopened(m_path);
    QSignalSpy notices(&reopened, &HistoryStore::notice);
    QVERIFY(reopened.flush());
    QCOMPARE(notices.count(), 0);
    Peek peek(m_path);
    const QVariantList numbers = peek.column(QStringLiteral("SELECT response_ms FROM answers ORDER BY id"));
    for (int i = 0; i < numbers.size(); ++i)
        QCOMPARE(numbers[i].toInt(), i);
    int mustHave = 0;
    while (mustHave < handedAt.size() && handedAt[mustHave] < killedAt - 1000)
        ++mustHave;
    QVERIFY2(numbers.size() >= mustHave,
             qPrintable(QStringLiteral("%1 stored, %2 handed over before the last second")
                            .arg(numbers.size())
                            .arg(mustHave)));

    // The exercise never ended; the statistics still read it.
    HistoryQueries queries(m_path);
    const StatisticsData data = queries.statistics({});
    QCOMPARE(data.exercises.size(), 1);
    QCOMPARE(data.exercises[0].answers, int(numbers.size()));
    QVERIFY(!data.exercises[0].ended);
}

void TestHistoryStore::restartsAfterClose()
{
    HistoryStore store(m_path);
    store.exerciseStarted(exercise(5000));
    store.answered(answer(5000, 6000, 40, true, 700));
    store.close();
    // After the exit step a late record still reaches the file.
    store.answered(answer(5000, 7000, 41, true, 700));
    QVERIFY(store.flush());
    store.close();
    Peek peek(m_path);
    QCOMPARE(peek.scalar(QStringLiteral("SELECT count(*) FROM answers")).toInt(), 2);
}

void TestHistoryStore::version1RowsReadAsSingleNotes()
{
    QVERIFY(writeFile(m_path, statements(std::begin(SchemaVersion1), std::end(SchemaVersion1))));
    {
        HistoryStore store(m_path);
        QVERIFY(store.flush());
        QVERIFY(store.isWritable());
    }
    Peek peek(m_path);
    QCOMPARE(peek.scalar(QStringLiteral("PRAGMA user_version")).toInt(), latestSchemaVersion());
    // Every old answer and exercise as it was, and a single note.
    QCOMPARE(peek.rows(QStringLiteral("SELECT time_ms, response_ms, kind, key_fifths, key_minor, line_position, bar,"
                                      " chord_notes FROM answers ORDER BY id")),
             (QVector<QVariantList>{{2000, 900, 0, 0, 0, -1, -1, 1}, {3000, 1500, 0, 0, 0, -1, -1, 1}}));
    QCOMPARE(peek.rows(QStringLiteral("SELECT session_id, end_ms, notes, errors, kind FROM exercises")),
             (QVector<QVariantList>{{1000, 61000, 2, 1, 0}}));

    HistoryQueries queries(m_path);
    const StatisticsData data = queries.statistics({});
    QVERIFY2(data.error.isEmpty(), qPrintable(data.error));
    QCOMPARE(data.total.answers, 2);
    QCOMPARE(data.kinds, QVector<ExerciseKind>{ExerciseKind::SingleNote});
    QCOMPARE(data.exercises.size(), 1);
    QCOMPARE(data.exercises[0].kind, ExerciseKind::SingleNote);
    QVERIFY(data.keys.isEmpty());
    StatisticsFilter phrases;
    phrases.kind = ExerciseKind::Phrase;
    QCOMPARE(queries.statistics(phrases).total.answers, 0);
}

void TestHistoryStore::failedMigrationLeavesTheFile()
{
    // A column the migration adds is there already: the step fails half-way and is undone whole.
    QStringList old = statements(std::begin(SchemaVersion1), std::end(SchemaVersion1));
    old.insert(old.size() - 1, QStringLiteral("ALTER TABLE answers ADD COLUMN bar INTEGER"));
    QVERIFY(writeFile(m_path, old));
    {
        HistoryStore store(m_path);
        QSignalSpy notices(&store, &HistoryStore::notice);
        store.answered(answer(1000, 4000, 40, true, 700));
        QVERIFY(!store.flush());
        QCOMPARE(notices.count(), 1);
    }
    Peek peek(m_path);
    QCOMPARE(peek.scalar(QStringLiteral("PRAGMA user_version")).toInt(), 1);
    QCOMPARE(peek.column(QStringLiteral("SELECT name FROM pragma_table_info('answers') WHERE name IN"
                                        " ('kind', 'key_fifths', 'bar') ORDER BY name")),
             (QVariantList{QStringLiteral("bar")}));
    QCOMPARE(peek.column(QStringLiteral("SELECT response_ms FROM answers ORDER BY id")), (QVariantList{900, 1500}));
    QVERIFY(!QFile::exists(m_path + QStringLiteral(".bad")));
}

void TestHistoryStore::lineFieldsRoundTrip_data()
{
    QTest::addColumn<bool>("throughUnsaved"); // kept beside the history at quit, added at the next start
    QTest::newRow("straight into the file") << false;
    QTest::newRow("through the unsaved answers") << true;
}

void TestHistoryStore::lineFieldsRoundTrip()
{
    QFETCH(bool, throughUnsaved);
    const qint64 s = 1'700'000'000'000;
    ExerciseRecord ex = exercise(s);
    ex.kind = ExerciseKind::Phrase;
    const QVector<AnswerRecord> answers{
        answer(s, s + 1000, 39, true, 900),
        lineAnswer(s, s + 2000, 46, true, 800, ExerciseKind::Phrase, -7, false, 0, 0),
        lineAnswer(s, s + 3000, 50, false, 1200, ExerciseKind::Phrase, 7, true, 15, 3, 4),
        lineAnswer(s, s + 4000, 43, true, 700, ExerciseKind::Piece, -3, true, 4000, 999, 2),
    };
    const QString block = m_path; // a folder where the file should be
    if (throughUnsaved)
        QVERIFY(QDir().mkpath(block + QStringLiteral("/inside")));
    {
        HistoryStore store(m_path);
        store.exerciseStarted(ex);
        for (const AnswerRecord& a : answers)
            store.answered(a);
        ex.endMs = s + 5000;
        store.exerciseEnded(ex);
        QCOMPARE(store.flush(), !throughUnsaved);
    }
    if (throughUnsaved) {
        QVERIFY(QFile::exists(m_path + QStringLiteral(".unsaved")));
        QVERIFY(QDir(block).removeRecursively());
        HistoryStore next(m_path);
        next.preload();
        QVERIFY(next.flush());
        QVERIFY(!QFile::exists(m_path + QStringLiteral(".unsaved")));
    }
    Peek peek(m_path);
    const auto rows = peek.rows(QStringLiteral("SELECT time_ms, kind, key_fifths, key_minor, line_position, bar,"
                                               " chord_notes FROM answers ORDER BY id"));
    QCOMPARE(rows.size(), answers.size());
    for (int i = 0; i < rows.size(); ++i) {
        const AnswerRecord& a = answers[i];
        QCOMPARE(rows[i], (QVariantList{qint64(a.timeMs), int(a.kind), a.keyFifths, a.keyMinor ? 1 : 0,
                                        a.linePosition, a.bar, a.chordNotes}));
    }
    QCOMPARE(peek.rows(QStringLiteral("SELECT session_id, end_ms, kind FROM exercises")),
             (QVector<QVariantList>{{s, s + 5000, int(ExerciseKind::Phrase)}}));
}

void TestHistoryStore::unsavedFileOfEarlierForm()
{
    // Kept by a version that knew single notes only.
    {
        QFile f(m_path + QStringLiteral(".unsaved"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("Tonvero answers not yet in the history, 1\n"
                "E 5000 5000 9000 1 0 1 0 0\n"
                "A 6000 5000 0 0 60 0 60 0 1 700 1\n");
    }
    {
        HistoryStore store(m_path);
        QSignalSpy notices(&store, &HistoryStore::notice);
        store.preload();
        QVERIFY(store.flush());
        QCOMPARE(notices.count(), 1);
    }
    QVERIFY(!QFile::exists(m_path + QStringLiteral(".unsaved")));
    Peek peek(m_path);
    QCOMPARE(peek.rows(QStringLiteral("SELECT time_ms, shown_note, response_ms, kind, key_fifths, key_minor,"
                                      " line_position, bar, chord_notes FROM answers")),
             (QVector<QVariantList>{{6000, 60, 700, 0, 0, 0, -1, -1, 1}}));
    QCOMPARE(peek.rows(QStringLiteral("SELECT session_id, end_ms, notes, kind FROM exercises")),
             (QVector<QVariantList>{{5000, 9000, 1, 0}}));
}

void TestHistoryStore::version2RowsHaveNoPiece()
{
    QStringList old = statements(std::begin(SchemaVersion1), std::end(SchemaVersion1));
    old.removeLast(); // the first version's number: the second's follows
    old << statements(std::begin(SchemaVersion2), std::end(SchemaVersion2));
    QVERIFY(writeFile(m_path, old));
    {
        HistoryStore store(m_path);
        QVERIFY(store.flush());
        QVERIFY(store.isWritable());
    }
    Peek peek(m_path);
    QCOMPARE(peek.scalar(QStringLiteral("PRAGMA user_version")).toInt(), latestSchemaVersion());
    // Every answer as it was, in no piece.
    QCOMPARE(peek.rows(QStringLiteral("SELECT time_ms, response_ms, kind, key_fifths, line_position, bar, chord_notes,"
                                      " piece_id IS NULL FROM answers ORDER BY id")),
             (QVector<QVariantList>{{2000, 900, 0, 0, -1, -1, 1, 1},
                                    {3000, 1500, 0, 0, -1, -1, 1, 1},
                                    {2001000, 800, 1, -2, 3, 1, 2, 1}}));
    QCOMPARE(peek.rows(QStringLiteral("SELECT session_id, end_ms, kind FROM exercises ORDER BY session_id")),
             (QVector<QVariantList>{{1000, 61000, 0}, {2000000, 2060000, 1}}));
    QCOMPARE(peek.scalar(QStringLiteral("SELECT count(*) FROM pieces")).toInt(), 0);

    HistoryQueries queries(m_path);
    const StatisticsData data = queries.statistics({});
    QVERIFY2(data.error.isEmpty(), qPrintable(data.error));
    QCOMPARE(data.total.answers, 3);
    QVERIFY(!data.hasPieces);
    QVERIFY(data.pieces.isEmpty());
}

void TestHistoryStore::pieceRoundTrip_data()
{
    QTest::addColumn<bool>("throughUnsaved"); // kept beside the history at quit, added at the next start
    QTest::newRow("straight into the file") << false;
    QTest::newRow("through the unsaved answers") << true;
}

void TestHistoryStore::pieceRoundTrip()
{
    QFETCH(bool, throughUnsaved);
    const qint64 s = 1'700'000'000'000;
    // A title with what a line of the unsaved file must carry whole: spaces, a line break, percent signs.
    const QString title = QStringLiteral("Сонатина 100 %\nII. Andante, s%41");
    const QString id = QStringLiteral("9f86d081884c7d65");
    ExerciseRecord ex = exercise(s);
    ex.kind = ExerciseKind::Piece;
    ex.pieceId = id;
    ex.pieceTitle = title;
    ex.pieceBars = 48;
    AnswerRecord inPiece = lineAnswer(s, s + 1000, 43, true, 700, ExerciseKind::Piece, -3, true, 4, 47, 2);
    inPiece.pieceId = id;
    const AnswerRecord outside = answer(s, s + 2000, 39, true, 900);
    const QString block = m_path; // a folder where the file should be
    if (throughUnsaved)
        QVERIFY(QDir().mkpath(block + QStringLiteral("/inside")));
    {
        HistoryStore store(m_path);
        store.exerciseStarted(ex);
        store.answered(inPiece);
        store.answered(outside);
        // The end names the piece without its title and length: the known ones stay.
        ExerciseRecord end = ex;
        end.endMs = s + 5000;
        end.pieceTitle.clear();
        end.pieceBars = 0;
        store.exerciseEnded(end);
        QCOMPARE(store.flush(), !throughUnsaved);
    }
    if (throughUnsaved) {
        QVERIFY(QFile::exists(m_path + QStringLiteral(".unsaved")));
        QVERIFY(QDir(block).removeRecursively());
        HistoryStore next(m_path);
        next.preload();
        QVERIFY(next.flush());
        QVERIFY(!QFile::exists(m_path + QStringLiteral(".unsaved")));
    }
    Peek peek(m_path);
    QCOMPARE(peek.rows(QStringLiteral("SELECT time_ms, kind, bar, coalesce(piece_id, 'none') FROM answers ORDER BY id")),
             (QVector<QVariantList>{{s + 1000, int(ExerciseKind::Piece), 47, id}, {s + 2000, 0, -1, QStringLiteral("none")}}));
    QCOMPARE(peek.rows(QStringLiteral("SELECT id, title, bars, last_ms FROM pieces")),
             (QVector<QVariantList>{{id, title, 48, s + 5000}}));
}

void TestHistoryStore::unsavedFileOfForm2()
{
    // Kept by a version that knew lines of music but not pieces.
    {
        QFile f(m_path + QStringLiteral(".unsaved"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("Tonvero answers not yet in the history, 2\n"
                "E 5000 5000 9000 1 0 1 0 0 1\n"
                "A 6000 5000 0 0 60 0 60 0 1 700 1 1 2 1 3 1 2\n");
    }
    {
        HistoryStore store(m_path);
        store.preload();
        QVERIFY(store.flush());
    }
    QVERIFY(!QFile::exists(m_path + QStringLiteral(".unsaved")));
    Peek peek(m_path);
    QCOMPARE(peek.rows(QStringLiteral("SELECT time_ms, kind, key_fifths, key_minor, line_position, bar, chord_notes,"
                                      " piece_id IS NULL FROM answers")),
             (QVector<QVariantList>{{6000, 1, 2, 1, 3, 1, 2, 1}}));
    QCOMPARE(peek.rows(QStringLiteral("SELECT session_id, end_ms, kind FROM exercises")),
             (QVector<QVariantList>{{5000, 9000, 1}}));
    QCOMPARE(peek.scalar(QStringLiteral("SELECT count(*) FROM pieces")).toInt(), 0);
}

void TestHistoryStore::forgettingAndPieces()
{
    const QString id = QStringLiteral("aa11");
    {
        HistoryStore store(m_path);
        for (qint64 session : {10000, 20000}) {
            ExerciseRecord e = exercise(session);
            e.kind = ExerciseKind::Piece;
            e.pieceId = id;
            e.pieceTitle = QStringLiteral("Менуэт");
            e.pieceBars = 16;
            store.exerciseStarted(e);
            AnswerRecord a = lineAnswer(session, session + 1000, 40, true, 600, ExerciseKind::Piece, 0, false, 0, 3);
            a.pieceId = id;
            store.answered(a);
        }
        QVERIFY(store.flush());
        // One exercise goes; the piece stays for the other.
        QString error;
        QVERIFY2(store.forgetExercise(10000, &error), qPrintable(error));
        {
            Peek peek(m_path);
            QCOMPARE(peek.column(QStringLiteral("SELECT title FROM pieces")), (QVariantList{QStringLiteral("Менуэт")}));
            QCOMPARE(peek.column(QStringLiteral("SELECT session_id FROM answers")), (QVariantList{20000}));
        }
        QVERIFY2(store.forgetAll(&error), qPrintable(error));
    }
    Peek peek(m_path);
    QCOMPARE(peek.scalar(QStringLiteral("SELECT count(*) FROM pieces")).toInt(), 0);
    QCOMPARE(peek.scalar(QStringLiteral("SELECT count(*) FROM answers")).toInt(), 0);
}

int main(int argc, char* argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--answer-until-killed") == 0) {
        QCoreApplication app(argc, argv);
        return answerUntilKilled(QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication app(argc, argv);
    TestHistoryStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_historystore.moc"
