// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tonverodlg.h"

#include "app/keyboardfilter.h"
#include "settings/interfacesettings.h"
#include "app/language.h"
#include "app/microphoneanswers.h"
#include "app/noticeline.h"
#include "app/pieceopener.h"
#include "app/templates.h"
#include "dialogs/aboutdlg.h"
#include "dialogs/dialogoptions.h"
#include "dialogs/interfaceoptions.h"
#include "dialogs/microphoneoptions.h"
#include "dialogs/phraseoptions.h"
#include "dialogs/practiceoptions.h"
#include "dialogs/statisticsdlg.h"
#include "history/historystore.h"
#include "history/practicesettings.h"
#include "exercise/exercise.h"
#include "midi/midirouter.h"
#include "music/notenames.h"
#include "settings/preferences.h"
#include "platform/audio/beep.h"
#include "platform/ui/notices.h"
#include "platform/ui/bitmap.h"
#include "platform/ui/messagebox.h"
#include "platform/mmsystem/mmsystem.h"
#include "platform/ui/shell.h"

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <cstdlib>
#include <ctime>

using namespace tonvero;


namespace {
// Notices that belong to one exercise: they end with it, or with the next one's start.
constexpr char kExerciseNotices[] = "exercise:";
constexpr char kPauseNotice[] = "exercise:pause";
constexpr char kExerciseDeviceNotices[] = "exercise:device:";
constexpr char kMicrophoneNotice[] = "exercise:microphone";
// A device's state that holds until it says otherwise.
constexpr char kLastingDeviceNotices[] = "device:lasting:";
// Said after its exercise ended: cleared when the next one starts.
constexpr char kExamNotice[] = "exam";
constexpr char kPieceNotices[] = "piece:";
constexpr char kPieceFinishedNotice[] = "piece:finished";
constexpr char kPieceStartNotice[] = "piece:start";
} // namespace

CTonveroDlg::CTonveroDlg(QWidget* parent) : platform::TemplateDialog(parent), m_ddx(this)
{
    CStaveCtrl::nClef = CStaveCtrl::TrebleBass;
    std::srand(unsigned(std::time(nullptr)));

    // The controls register their window classes, which the template needs.
    piano = std::make_unique<CPianoCtrl>(CInstrumentCtrl::PianoId, "PianoCtrl");
    guitar = std::make_unique<CGuitarCtrl>(CInstrumentCtrl::GuitarId, "GuitarCtrl");
    bass = std::make_unique<CGuitarCtrl>(CInstrumentCtrl::BassId, "GuitarCtrl");
    stave = std::make_unique<CStaveCtrl>(CInstrumentCtrl::StaveId, "StaveCtrl");

    StaveLayout = CStaveCtrl::DefaultLayout();
    PianoLayout = CPianoCtrl::DefaultLayout();
    GuitarLayout = CGuitarCtrl::GuitarLayout();
    BassLayout = CGuitarCtrl::BassLayout();
    // The instruments' large pictures decode while the rest of the window is built.
    platform::DecodeAhead({CPianoCtrl::KeyboardPictureOf(PianoLayout.data()),
                           CGuitarCtrl::BoardPicture(GuitarLayout.data()), CGuitarCtrl::BoardPicture(BassLayout.data())},
                          devicePixelRatioF());

    createModels();
    createWindow();
    initDialog();
    createShortcuts();
    setUpAccess();
    createMicrophone();
    keyboardFilter = new KeyboardFilter(this);
    qApp->installEventFilter(keyboardFilter);
    connectExercise();

    // Once the window is up, so that the first Start does not wait for the file.
    QTimer::singleShot(2000, m_history.get(), [store = m_history.get()] { store->preload(); });
}

CTonveroDlg::~CTonveroDlg()
{
    // MIDI events still queued find the router going; no port change reaches it.
    m_midi->shutDown();
    // An exercise running at exit still gets its end in the history.
    if (m_exercise->bRunning)
        m_exercise->answers().exerciseEnded(m_exercise->nNotes, m_exercise->nErrors, false);
    m_exercise->answers().removeListener(m_history.get());
    m_history->close();
    mmsys::resetNoticeHandler();
    platform::removeHeldObserver(m_heldObserver);
    // The options dialog edits the models: it goes while they are whole.
    delete pOptions;
    pOptions = nullptr;
    m_midi.reset(); // closes the input, then the output
    m_prefs->save();
    // The controls go before the dialog's widgets; they must not call back into a half-destroyed window.
    for (CInstrumentCtrl* c : {static_cast<CInstrumentCtrl*>(stave.get()), static_cast<CInstrumentCtrl*>(piano.get()),
                               static_cast<CInstrumentCtrl*>(guitar.get()), static_cast<CInstrumentCtrl*>(bass.get())})
        if (c)
            c->RemoveListener(this);
    if (stave)
        stave->SetOwner(nullptr);
    // Hiding the dialog below still sends key and focus events: none may reach the controls gone by then.
    delete keyboardFilter;
    keyboardFilter = nullptr;
}

void CTonveroDlg::createModels()
{
    m_prefs = std::make_unique<Preferences>();
    m_noticeChannel = std::make_unique<platform::Notices>();
    connect(m_prefs.get(), &Preferences::notice, m_noticeChannel.get(),
            [channel = m_noticeChannel.get()](const QString& text) { channel->post(QStringLiteral("settings"), text); });
    // Nothing of the history is opened here: the file waits for the first answer or preload.
    m_history = std::make_unique<history::HistoryStore>();
    m_practice = std::make_unique<history::PracticeSettings>();
    m_practice->load();
    connect(m_history.get(), &history::HistoryStore::notice, m_noticeChannel.get(),
            [channel = m_noticeChannel.get()](const QString& text) { channel->post(QStringLiteral("history"), text); });

    m_exercise = std::make_unique<Exercise>(*m_prefs);
    m_exercise->answers().addListener(m_history.get());
    // The draw favours what the history says was missed or slow.
    m_exercise->setPracticeSource([this](int clef) -> std::optional<notedraw::ExtraChanceTable> {
        if (!m_practice->bRememberPractice)
            return std::nullopt;
        return m_history->practiceChances(clef);
    });
    // The time a message box keeps the user is not held against the clock or the exam.
    m_heldObserver = platform::addHeldObserver([this](qint64 ms) { m_exercise->OnUserHeld(ms); });

    m_midi = std::make_unique<midi::MidiRouter>(*m_prefs, *m_noticeChannel);
    connect(m_midi.get(), &midi::MidiRouter::noteOn, this, [this](int note) { OnNoteOn(note, true); });
    connect(m_midi.get(), &midi::MidiRouter::noteOff, this, [this](int note) { OnNoteOff(note); });
    connect(m_midi.get(), &midi::MidiRouter::portsChanged, this, [this] {
        if (pOptions)
            pOptions->refreshDeviceLists();
    });
    // The devices' one-off notices (no audio output, ...) go to the line, not to a box that stops the exercise.
    // One said while an exercise runs (no sound in it) ends with that exercise.
    QPointer<CTonveroDlg> self(this);
    mmsys::setNoticeHandler([self](const std::string& text) {
        const QString message = QString::fromStdString(text);
        QMetaObject::invokeMethod(
            qApp,
            [self, message] {
                if (!self)
                    return;
                const bool duringExercise = self->m_exercise->bRunning;
                self->m_noticeChannel->post(
                    (duringExercise ? QLatin1String(kExerciseDeviceNotices) : QLatin1String("device:")) + message, message);
            },
            Qt::QueuedConnection);
    });
    // What lasts until a device says it is over (no soundfont) outlives any exercise.
    mmsys::setLastingNoticeHandler([self](const std::string& key, const std::string& text) {
        const QString noticeKey = QLatin1String(kLastingDeviceNotices) + QString::fromStdString(key);
        const QString message = QString::fromStdString(text);
        QMetaObject::invokeMethod(
            qApp,
            [self, noticeKey, message] {
                if (!self)
                    return;
                if (message.isEmpty())
                    self->m_noticeChannel->clear(noticeKey);
                else
                    self->m_noticeChannel->post(noticeKey, message);
            },
            Qt::QueuedConnection);
    });
}

void CTonveroDlg::connectExercise()
{
    Exercise* e = m_exercise.get();
    connect(e, &Exercise::starting, this, [this] {
        // What was said of the last exercise is over.
        m_noticeChannel->clearAll(QLatin1String(kExerciseNotices));
        m_noticeChannel->clear(QLatin1String(kExamNotice));
        m_noticeChannel->clearAll(QLatin1String(kPieceNotices));
        m_microphone->newExercise();
        keyboardFilter->reset();
        startButton()->setText(tr("Остановить"));
        piano->SetKeyboardMode(true);
        CInstrumentCtrl::SetPlayMode(true);
        m_midi->setExerciseRunning(true);
        m_exercise->setMicrophoneInput(m_microphone->settings().bEnabled);
        checkKindMenu();
        if (m_exercise->phraseRunning()) {
            // A line of music (a phrase's or a piece's) needs room the single note does not.
            if (!m_singleStaveSize.isValid())
                m_singleStaveSize = stave->size();
            fitStaveForLine();
            stave->SetPlayedNotesVisible(m_prefs->phrase.bPhraseKeepPlayed != 0);
        }
    });
    connect(e, &Exercise::phraseShown, this, [this](const music::Phrase& phrase) { stave->ShowPhrase(phrase); });
    connect(e, &Exercise::phraseHidden, this, [this] {
        if (m_exercise->bRunning && m_exercise->bPaused) {
            // A pause keeps the staff, its clef and key, with nothing to read ahead.
            const music::Phrase& p = m_exercise->phraseTask().phrase();
            stave->ShowPhrase(music::Phrase{p.key, p.time, {}});
        } else {
            stave->ClearPhrase();
        }
    });
    connect(e, &Exercise::phraseCursorMoved, this, [this](int event) {
        stave->SetPhraseCursor(event);
        strNoteName = m_exercise->strNoteName;
        if (m_prefs->bShowNoteName)
            ShowNoteName(false);
    });
    connect(e, &Exercise::phraseNamesShown, stave.get(), &CStaveCtrl::SetPhraseNames);
    connect(e, &Exercise::phraseClef, this, [this](int clef) {
        // The piece's clef is the stave's for its lines only: the user's setting stays as it was.
        if (clef < CStaveCtrl::Treble || clef > CStaveCtrl::TrebleBass || clef == CStaveCtrl::nClef)
            return;
        if (m_userClef < 0)
            m_userClef = CStaveCtrl::nClef;
        CStaveCtrl::nClef = clef;
        if (m_singleStaveSize.isValid())
            fitStaveForLine();
        stave->Draw(false);
    });
    connect(e, &Exercise::pieceFinished, this, [this] {
        m_noticeChannel->post(QLatin1String(kPieceFinishedNotice), tr("Пьеса сыграна."));
    });
    connect(e, &Exercise::started, this, [this] {
        m_midi->StartMidiInput();
        m_midi->OpenMidiOutputForExercise();
        m_microphone->exerciseRunning(true);
        UpdateLayout();
    });
    connect(e, &Exercise::pausedChanged, this, [this](bool paused) {
        m_microphone->exerciseRunning(!paused);
        if (paused) {
            // The note is hidden, and so is its name.
            noteNameLabel()->setText(QString());
            m_noticeChannel->post(QLatin1String(kPauseNotice), tr("Пауза — F6 или клавиша Pause, чтобы продолжить"));
        } else {
            m_noticeChannel->clear(QLatin1String(kPauseNotice));
        }
        UpdateLayout();
    });
    connect(e, &Exercise::stopped, this, [this] {
        keyboardFilter->reset();
        // Notices of the exercise (its pause, its sound) no longer hold; a keyboard still unplugged is still said.
        m_noticeChannel->clearAll(QLatin1String(kExerciseNotices));
        m_microphone->exerciseRunning(false);
        startButton()->setText(tr("Начать"));
        piano->SetRangeCount(m_prefs->nClef == CStaveCtrl::TrebleBass ? 2 : 1);
        CInstrumentCtrl::SetPlayMode(false);
        m_midi->setExerciseRunning(false);
        m_midi->StopMidiInputAfterExercise();
        m_midi->CloseMidiOutput();
        m_microphone->outputClosed();
        if (m_userClef >= 0) {
            CStaveCtrl::nClef = m_userClef;
            m_userClef = -1;
            stave->Draw(false);
        }
        if (m_singleStaveSize.isValid()) {
            stave->resize(m_singleStaveSize);
            m_singleStaveSize = QSize();
        }
        checkKindMenu();
        UpdateLayout();
    });
    connect(e, &Exercise::noteShown, this, [this](int note, int staff, Spelling spelling) {
        if (note < 0) {
            stave->SetNotes(-1, -1, -1, -1, -1);
            return;
        }
        stave->ShowNote(note, staff,
                        spelling == Spelling::Flat    ? CStaveCtrl::FlatSign
                        : spelling == Spelling::Sharp ? CStaveCtrl::SharpSign
                                                      : CStaveCtrl::NoAccidental);
    });
    connect(e, &Exercise::marked, this, &CTonveroDlg::showMark);
    connect(e, &Exercise::noteNameShown, this, &CTonveroDlg::ShowNoteName);
    connect(e, &Exercise::noteNameHidden, this, [this] { noteNameLabel()->setText(QString()); });
    connect(e, &Exercise::countsChanged, this, [this] { UpdateData(false); });
    connect(e, &Exercise::soundOn, this, [this](int note) {
        m_midi->SoundNoteOn(note);
        if (m_prefs->bMIDI_Out)
            m_microphone->outputNoteOn(note);
    });
    connect(e, &Exercise::soundOff, this, [this](int note) {
        m_midi->SoundNoteOff(note);
        if (m_prefs->bMIDI_Out)
            m_microphone->outputNoteOff(note);
    });
    connect(e, &Exercise::wrongAnswer, this, [this] {
        constexpr int kBeepHz = 400;
        constexpr int kBeepMs = 100;
        m_microphone->outputTone(kBeepHz, kBeepMs);
        platform::Beep(kBeepHz, kBeepMs);
    });
    connect(e, &Exercise::examSummary, this, &CTonveroDlg::showExamSummary);
    connect(e, &Exercise::examEnded, this, [this](const QString& time, int notes, const QString& errors, qint64 session) {
        // The end of an exam is said even when its figures stay on screen, with its note map a click away.
        const QString text = tr("Экзамен окончен: время %1, нот %2, ошибок %3.")
                                 .arg(time.toHtmlEscaped())
                                 .arg(notes)
                                 .arg(errors.toHtmlEscaped());
        m_noticeChannel->post(QLatin1String(kExamNotice),
                              QStringLiteral("%1 <a href=\"exam:%2\">%3</a>")
                                  .arg(text)
                                  .arg(session)
                                  .arg(tr("Карта нот экзамена").toHtmlEscaped()));
    });
    connect(m_prefs.get(), &Preferences::changed, this, [this] {
        if (m_kindGroup)
            checkKindMenu();
        ShowNoteName(false);
        ShowStatistics(m_prefs->bShowStatistics != 0);
    });
}

void CTonveroDlg::showMark(int note, int mark, int instruments)
{
    if (instruments & Exercise::Piano)
        piano->SetNoteState(note, mark);
    if (instruments & Exercise::Guitar)
        guitar->SetNoteState(note, mark);
    if (instruments & Exercise::Bass)
        bass->SetNoteState(note, mark);
}

void CTonveroDlg::showExamSummary(const QString& text, qint64 sessionId)
{
    // The exam's own note map is one click away from its summary.
    if (platform::MessageBoxWithButton(this, text, QStringLiteral("Tonvero"), platform::MsgIcon::Exclamation,
                                       tr("Карта нот экзамена...")))
        OpenStatistics(sessionId);
}

void CTonveroDlg::createWindow()
{
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
                   | Qt::WindowCloseButtonHint);
    const QImage icon = platform::LoadBitmap(128);
    if (!icon.isNull())
        setWindowIcon(QIcon(QPixmap::fromImage(icon)));

    QMenuBar* bar = CreateMenuBar(MainMenu(), this, [this](int id) { OnCommand(id); }, m_actions);
    m_clefGroup = new QActionGroup(this);
    m_clefGroup->setExclusive(true);
    for (int id = CmdClefTreble; id <= CmdClefTrebleBass; ++id) {
        if (QAction* a = m_actions.value(id)) {
            a->setCheckable(true);
            m_clefGroup->addAction(a);
        }
    }

    m_kindGroup = new QActionGroup(this);
    m_kindGroup->setExclusive(true);
    for (int id : {CmdKindSingleNote, CmdKindPhrase, CmdKindPiece}) {
        if (QAction* a = m_actions.value(id)) {
            a->setCheckable(true);
            m_kindGroup->addAction(a);
        }
    }
    // The recent pieces and the bundled tunes stand under «Открыть пьесу...».
    m_pieces = new PieceOpener(*m_prefs, *m_exercise, this);
    if (QAction* open = m_actions.value(CmdOpenPiece)) {
        if (auto* fileMenu = qobject_cast<QMenu*>(open->parent())) {
            const QList<QAction*> items = fileMenu->actions();
            const qsizetype at = items.indexOf(open) + 1;
            m_pieces->addMenus(fileMenu, at < items.size() ? items[at] : nullptr);
        }
    }
    connect(m_pieces, &PieceOpener::pieceChanged, this, [this] { checkKindMenu(); });
    setAcceptDrops(true);
    checkKindMenu();

    const QHash<int, QWidget*> customs{
        {IdcBass, bass.get()}, {IdcGuitar, guitar.get()}, {IdcPiano, piano.get()}, {IdcStave, stave.get()}};
    createFromTemplate(MainDialogTemplate(), customs, bar);

    // White surface for the dialog, its statics and check boxes; the menu bar keeps the desktop's colours.
    QPalette pal = client()->palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::WindowText, Qt::black);
    pal.setColor(QPalette::Base, Qt::white);
    client()->setPalette(pal);
    client()->setAutoFillBackground(true);
    client()->installEventFilter(this);

    // The desktop font can be wider than the one the template was drawn for: widen
    // texts that would be cut (captions of the statistics keep their right edge).
    for (int id : {int(IdcPianoBox), int(IdcGuitarBox), int(IdcBassBox), int(IdcStartStop), int(IdcTimeCaption),
                   int(IdcNotesCaption), int(IdcErrorsCaption)}) {
        QWidget* w = item(id);
        int need = w->sizeHint().width();
        if (auto* b = qobject_cast<QPushButton*>(w)) { // wide enough for both of its texts
            const QString text = b->text();
            b->setText(tr("Остановить"));
            need = qMax(need, b->sizeHint().width());
            b->setText(text);
        }
        if (need <= w->width())
            continue;
        if (id >= IdcTimeCaption)
            w->setGeometry(w->geometry().right() + 1 - need, w->y(), need, w->height());
        else
            w->resize(need, w->height());
    }

    m_overlay = new HelpOverlay(client());
    m_overlay->hide();

    m_notices = new NoticeLine(client());
    // A notice that comes or goes moves the instruments clear of its row.
    connect(m_notices, &NoticeLine::changed, this, &CTonveroDlg::UpdateLayout);
    m_notices->listenTo(*m_noticeChannel);
    connect(m_notices, &NoticeLine::linkActivated, this, [this](const QString& link) {
        if (link.startsWith(QLatin1String("exam:")))
            OpenStatistics(link.mid(5).toLongLong());
    });
}

bool CTonveroDlg::initDialog()
{
    // 1. Items and data exchange.
    pianoBox = itemAs<QCheckBox>(IdcPianoBox);
    guitarBox = itemAs<QCheckBox>(IdcGuitarBox);
    bassBox = itemAs<QCheckBox>(IdcBassBox);
    for (QCheckBox* box : {pianoBox, guitarBox, bassBox}) {
        const int id = box->objectName().toInt();
        connect(box, &QCheckBox::clicked, this, [this, id] { OnCommand(id); });
    }
    connect(startButton(), &QPushButton::clicked, this, [this] { OnCommand(IdcStartStop); });
    m_ddx.text(item(IdcTime), &m_exercise->clock.strTime);
    m_ddx.integer(itemAs<QLineEdit>(IdcNotes), &m_exercise->nNotes);
    m_ddx.text(item(IdcErrors), &m_exercise->clock.strErrors);
    UpdateData(false);
    // Lay the client out now, so that the first layout sees the window's real size.
    if (layout())
        layout()->activate();

    piano->initialize(PianoLayout.data());             // 4: builds KeyTable
    // Nothing is written at start-up: the keys a first start lacks go to the file with the first save.
    m_prefs->load();                                   // 5
    CStaveCtrl::nClef = m_prefs->nClef;
    InterfaceSettings::loadAndApply();
    m_midi->OpenMidiInput();                           // 3, after the settings: it opens the stored port
    SetInstrumentBoxes();                              // 6
    m_exercise->ClearErrorWeights();                   // 7
    // The stored ranges survive the range editor's reset to the clef's count.
    const TonveroSettings loaded = m_prefs->values();
    piano->SetRangeCount(CStaveCtrl::nClef == CStaveCtrl::TrebleBass ? 2 : 1); // 8
    SetRange(0, loaded.nN12_min0, loaded.nN12_max0);
    SetRange(1, loaded.nN12_min1, loaded.nN12_max1);
    guitar->initialize(GuitarLayout.data());           // 9
    bass->initialize(BassLayout.data());
    stave->SetOwner(this);                             // 10
    stave->initialize(StaveLayout.data());
    stave->SetNotes(CInstrumentCtrl::NoteFromKeyIndex(m_prefs->nN12_min0), // 11
                    CInstrumentCtrl::NoteFromKeyIndex(m_prefs->nN12_max0),
                    CInstrumentCtrl::NoteFromKeyIndex(m_prefs->nN12_min1),
                    CInstrumentCtrl::NoteFromKeyIndex(m_prefs->nN12_max1), -1);
    stave->AddListener(this);                          // 12
    piano->AddListener(this);
    guitar->AddListener(this);
    bass->AddListener(this);
    for (FretboardLayoutTable* fl : {&GuitarLayout, &BassLayout}) { // 13
        FretboardLayoutTable& l = *fl;
        l[8] = l[2 + l[0] - 1];
        l[9] = l[2] + l[1] - 1;
    }
    CInstrumentCtrl::SetPlayMode(false);
    if (CStaveCtrl::nClef < 0 || CStaveCtrl::nClef > 3) // 14
        CStaveCtrl::nClef = CStaveCtrl::TrebleBass;
    OnClef(CmdClefTreble + CStaveCtrl::nClef);
    reopenStoredPiece();
    checkKindMenu();
    UpdateLayout();                                    // 15
    UpdateNoteBounds();
    if (m_prefs->bAppControlByMIDI)                    // 16
        m_midi->StartMidiInput();
    startButton()->setFocus();
    return true;
}

bool CTonveroDlg::UpdateData(bool save)
{
    return m_ddx.run(save);
}

QPushButton* CTonveroDlg::startButton() const
{
    return itemAs<QPushButton>(IdcStartStop);
}

QLabel* CTonveroDlg::noteNameLabel() const
{
    return itemAs<QLabel>(IdcNoteName);
}

void CTonveroDlg::OnCommand(int id)
{
    switch (id) {
    case IdcStartStop: StartStop(false); break;
    case IdcPianoBox:
    case IdcGuitarBox:
    case IdcBassBox: OnInstrumentBox(id); break;
    case CmdOptions: OpenOptions(); break;
    case CmdClefTreble:
    case CmdClefBass:
    case CmdClefAlto:
    case CmdClefTrebleBass: OnClef(id); break;
    case CmdHelp:
        // F1 again takes the guide away.
        if (bHelpShown)
            RemoveHelpOverlay();
        else
            DrawHelpOverlay();
        break;
    case CmdReadMe: OpenReadMe(); break;
    case CmdHomePage: OpenHomePage(); break;
    case CmdAbout: OpenAbout(); break;
    case CmdStatistics: OpenStatistics(); break;
    case CmdKindSingleNote: setExerciseKind(PhraseSettings::SingleNote); break;
    case CmdKindPhrase: setExerciseKind(PhraseSettings::Phrase); break;
    case CmdKindPiece: setExerciseKind(PhraseSettings::Piece); break;
    case CmdOpenPiece: m_pieces->chooseAndOpen(); break;
    case CmdPieceOptions: m_pieces->editSelection(); break;
    case CmdStartStopKey: StartStop(false); break;
    case CmdPauseKey:
        if (m_exercise->bRunning)
            StartStop(true);
        break;
    case CmdExit: reject(); break;
    default: break;
    }
}

void CTonveroDlg::placeNoteNameForPhrase()
{
    QLabel* name = noteNameLabel();
    if (!name)
        return;
    if (m_noteNameHome.x() < 0)
        m_noteNameHome = name->pos();
    if (m_exercise->phraseRunning()) {
        // Beside the single note it would stand on the line; under the line's end it reads as its caption.
        name->adjustSize();
        name->move(stave->x() + stave->width() - name->width(), stave->y() + stave->height() - name->height());
    } else {
        name->move(m_noteNameHome);
    }
}

void CTonveroDlg::setExerciseKind(int kind)
{
    // Pieces need one open.
    if (kind == PhraseSettings::Piece && !m_exercise->hasPiece()) {
        checkKindMenu();
        return;
    }
    // The kind is fixed while an exercise runs: the next one takes the new kind.
    m_prefs->phrase.nExerciseKind = kind;
    m_prefs->notifyChanged();
    m_prefs->save();
}

void CTonveroDlg::checkKindMenu()
{
    const int id = m_prefs->pieceExercise()    ? CmdKindPiece
                   : m_prefs->phraseExercise() ? CmdKindPhrase
                                               : CmdKindSingleNote;
    if (QAction* a = m_actions.value(id))
        a->setChecked(true);
    const bool idle = !m_exercise || !m_exercise->bRunning;
    const bool piece = m_exercise && m_exercise->hasPiece();
    for (QAction* a : m_kindGroup->actions())
        a->setEnabled(idle && (a != m_actions.value(CmdKindPiece) || piece));
    if (QAction* a = m_actions.value(CmdOpenPiece))
        a->setEnabled(idle);
    if (QAction* a = m_actions.value(CmdPieceOptions))
        a->setEnabled(idle && piece);
    if (m_pieces)
        m_pieces->setIdle(idle);
}

void CTonveroDlg::fitStaveForLine()
{
    // Within the window: a long line takes a smaller staff space rather than running off it.
    QSize size = stave->phraseSizeHint(m_prefs->phrase.nPhraseBars);
    size.setWidth(qMin(size.width(), client()->width() - 24));
    stave->resize(size);
}

void CTonveroDlg::reopenStoredPiece()
{
    if (!m_prefs->pieceExercise())
        return;
    QString whyNot;
    if (m_pieces->reopenStored(&whyNot))
        return;
    // The path stays stored, so the piece is in the recent list when it is back.
    m_prefs->phrase.nExerciseKind = PhraseSettings::SingleNote;
    m_prefs->notifyChanged();
    m_noticeChannel->post(QLatin1String(kPieceStartNotice), whyNot);
}

bool CTonveroDlg::OpenPiece(const QString& path)
{
    return m_pieces->open(path);
}

void CTonveroDlg::dragEnterEvent(QDragEnterEvent* event)
{
    if (m_pieces->acceptsDrop(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void CTonveroDlg::dropEvent(QDropEvent* event)
{
    if (!m_pieces->acceptsDrop(event->mimeData())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // The box and the dialog that follow must not hold the file manager's drag.
    const QString path = event->mimeData()->urls().first().toLocalFile();
    QTimer::singleShot(0, this, [this, path] { m_pieces->open(path); });
}

void CTonveroDlg::OnClef(int commandId)
{
    stave->SetClef(commandId - CmdClefTreble);
}

void CTonveroDlg::StartStop(bool pause)
{
    m_exercise->StartStop(pause);
}

void CTonveroDlg::SetRange(int staff, int low, int high)
{
    piano->SetRange(staff, low, high);
    m_prefs->setRange(staff, piano->GetRangeLow(staff), piano->GetRangeHigh(staff));
}

void CTonveroDlg::CheckClefMenu(int commandId)
{
    // The stave's clef is the one the exercise and the settings use.
    m_prefs->nClef = commandId - CStaveCtrl::ClefMenuBase;
    if (QAction* a = m_actions.value(commandId); a && m_clefGroup->actions().contains(a))
        a->setChecked(true);
}

void CTonveroDlg::UpdateRangeCount()
{
    if (!m_exercise->bRunning)
        piano->SetRangeCount(m_prefs->nClef == CStaveCtrl::TrebleBass ? 2 : 1);
}

void CTonveroDlg::ShowNoteName(bool force)
{
    if (QLabel* label = noteNameLabel()) {
        label->setText(m_prefs->bShowNoteName || force ? strNoteName : QString());
        if (m_exercise && m_exercise->phraseRunning())
            placeNoteNameForPhrase();
    }
}

QString CTonveroDlg::SharpName(int pitchClass) const
{
    return music::sharpName(pitchClass);
}

QString CTonveroDlg::FlatName(int pitchClass) const
{
    return music::flatName(pitchClass);
}

int CTonveroDlg::PitchClass(int keyIndex) const
{
    return piano->GetPitchClass(keyIndex);
}

void CTonveroDlg::OpenOptions()
{
    if (!pOptions) {
        pOptions = new DialogOptions(*m_prefs, *m_midi, this); // a child of the window, kept for the whole run
        auto* phrase = new PhraseOptions(*m_prefs);
        pOptions->addSection(phrase);
        connect(m_prefs.get(), &Preferences::changed, phrase, &PhraseOptions::refresh);
        phrase->setPieceAvailable(m_exercise->hasPiece());
        connect(m_pieces, &PieceOpener::pieceChanged, phrase,
                [this, phrase] { phrase->setPieceAvailable(m_exercise->hasPiece()); });
        auto* practice = new PracticeOptions(*m_practice);
        pOptions->addSection(practice);
        connect(pOptions, &DialogOptions::settingsSaved, practice, &PracticeOptions::save);
        connect(practice, &PracticeOptions::statisticsRequested, this, [this] { OpenStatistics(); });
        InterfaceOptions::addTo(pOptions);
        auto* microphone = new dialogs::MicrophoneOptions;
        microphone->setSettings(m_microphone->settings());
        pOptions->addSection(microphone);
        // Like the other options, a change applies at once; OK keeps it.
        connect(microphone, &dialogs::MicrophoneOptions::settingsChanged, this,
                [this, microphone] { m_microphone->setSettings(microphone->settings()); });
        connect(pOptions, &DialogOptions::settingsSaved, microphone, [microphone] { microphone->save(); });
    }
    pOptions->show();
    pOptions->raise();
    pOptions->activateWindow();
}

QStringList tonvero::ReadMeCandidates(const QString& installDir)
{
    const QString name = readMeFileName();
    if (!installDir.isEmpty())
        return {QDir(installDir).filePath(name)};
    QStringList dirs;
    if (QCoreApplication::instance())
        dirs << QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../share/tonvero"));
    dirs << QStringLiteral(TONVERO_DATADIR) << QStringLiteral(TONVERO_SOURCE_RES);
    QStringList paths;
    for (const QString& d : dirs) {
        const QString p = QDir::cleanPath(QDir(d).filePath(name));
        if (!paths.contains(p))
            paths << p;
    }
    return paths;
}

void CTonveroDlg::OpenReadMe()
{
    const QStringList candidates = ReadMeCandidates(m_prefs->strInstallDir);
    QString path;
    for (const QString& p : candidates) {
        if (QFileInfo(p).isFile()) {
            path = p;
            break;
        }
    }
    if (path.isEmpty()) {
        platform::MessageBox(this, tr("Файл не найден:\n%1").arg(candidates.value(0)),
                             QStringLiteral("Tonvero"), platform::MsgIcon::Exclamation);
        return;
    }
    if (!platform::ShellOpen(path))
        platform::MessageBox(this, tr("Не удалось открыть файл:\n%1").arg(path), QStringLiteral("Tonvero"),
                             platform::MsgIcon::Exclamation);
}

void CTonveroDlg::OpenStatistics(qint64 sessionId)
{
    if (bHelpShown)
        RemoveHelpOverlay();
    // What was answered a moment ago belongs in the figures.
    m_history->flush(2000);
    StatisticsDialog dlg(*m_history, m_prefs->nClef, sessionId, this);
    dlg.exec();
}

void CTonveroDlg::createMicrophone()
{
    // Settings only: the input and the detector are opened by the first exercise that uses them.
    m_microphone = new MicrophoneAnswers(this);
    m_microphone->setSettings(pitch::MicrophoneSettings::load());
    m_microphone->setExpectedNote([e = m_exercise.get()] { return e->expectedNote(); });
    connect(m_microphone, &MicrophoneAnswers::pressed, this,
            [this](int note) { m_exercise->OnNoteOn(note, false, AnswerSource::Microphone); });
    connect(m_microphone, &MicrophoneAnswers::released, this, [this](int note) { OnNoteOff(note); });
    // Said of one exercise, so it ends with it.
    connect(m_microphone, &MicrophoneAnswers::notice, m_noticeChannel.get(),
            [channel = m_noticeChannel.get()](const QString& text) { channel->post(QLatin1String(kMicrophoneNotice), text); });
}

void CTonveroDlg::createShortcuts()
{
    // Every command within reach of the keyboard; menus keep their mnemonics too.
    const std::pair<int, QKeySequence> menuKeys[] = {
        {CmdOptions, QKeySequence(Qt::CTRL | Qt::Key_Comma)},
        {CmdStatistics, QKeySequence(Qt::CTRL | Qt::Key_T)},
        {CmdKindSingleNote, QKeySequence(Qt::CTRL | Qt::Key_1)},
        {CmdKindPhrase, QKeySequence(Qt::CTRL | Qt::Key_2)},
        {CmdKindPiece, QKeySequence(Qt::CTRL | Qt::Key_3)},
        {CmdOpenPiece, QKeySequence(Qt::CTRL | Qt::Key_O)},
        {CmdHelp, QKeySequence(Qt::Key_F1)},
        {CmdExit, QKeySequence(Qt::CTRL | Qt::Key_Q)},
    };
    for (const auto& [id, keys] : menuKeys)
        if (QAction* a = m_actions.value(id))
            a->setShortcut(keys);
    const std::pair<int, QKeySequence> windowKeys[] = {
        {CmdStartStopKey, QKeySequence(Qt::Key_F5)},
        {CmdPauseKey, QKeySequence(Qt::Key_F6)},
    };
    for (const auto& [id, keys] : windowKeys) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        const int command = id;
        connect(shortcut, &QShortcut::activated, this, [this, command] { OnCommand(command); });
    }
}

void CTonveroDlg::OpenHomePage()
{
    platform::ShellOpen(QString::fromLatin1(kHomePageUrl));
}

void CTonveroDlg::OpenAbout()
{
    if (bHelpShown)
        RemoveHelpOverlay();
    CAboutDlg dlg(this);
    dlg.exec();
}

void CTonveroDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && bHelpShown) {
        RemoveHelpOverlay();
        event->accept();
        return;
    }
    platform::TemplateDialog::keyPressEvent(event);
}

bool CTonveroDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == client() && event->type() == QEvent::MouseButtonPress) {
        auto* me = static_cast<QMouseEvent*>(event);
        // Statics let clicks through to the dialog, as on the bare background.
        QWidget* under = client()->childAt(me->position().toPoint());
        const bool background = !under || under == m_overlay || qobject_cast<QLabel*>(under);
        // A click on the guide takes it away; otherwise the background opens the options.
        if (me->button() == Qt::LeftButton && background && bHelpShown)
            RemoveHelpOverlay();
        else if (me->button() == Qt::LeftButton && background)
            OpenOptions();
    }
    return platform::TemplateDialog::eventFilter(watched, event);
}
