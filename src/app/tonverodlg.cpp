// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tonverodlg.h"

#include "app/keyboardfilter.h"
#include "app/interfacesettings.h"
#include "app/language.h"
#include "app/microphoneanswers.h"
#include "app/noticeline.h"
#include "app/templates.h"
#include "dialogs/aboutdlg.h"
#include "dialogs/dialogoptions.h"
#include "dialogs/interfaceoptions.h"
#include "dialogs/microphoneoptions.h"
#include "dialogs/practiceoptions.h"
#include "dialogs/statisticsdlg.h"
#include "history/historystore.h"
#include "history/practicesettings.h"
#include "midi/devicewatcher.h"
#include "platform/bitmap.h"
#include "platform/messagebox.h"
#include "platform/mmsystem.h"
#include "platform/shell.h"

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
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

// Note names by pitch class, in the interface's language (До Ре Ми / C D E).
constexpr const char* kSharpNames[12] = {
    QT_TRANSLATE_NOOP("NoteNames", "До"),   QT_TRANSLATE_NOOP("NoteNames", "До #"),
    QT_TRANSLATE_NOOP("NoteNames", "Ре"),   QT_TRANSLATE_NOOP("NoteNames", "Ре #"),
    QT_TRANSLATE_NOOP("NoteNames", "Ми"),   QT_TRANSLATE_NOOP("NoteNames", "Фа"),
    QT_TRANSLATE_NOOP("NoteNames", "Фа #"), QT_TRANSLATE_NOOP("NoteNames", "Соль"),
    QT_TRANSLATE_NOOP("NoteNames", "Соль #"), QT_TRANSLATE_NOOP("NoteNames", "Ля"),
    QT_TRANSLATE_NOOP("NoteNames", "Ля #"), QT_TRANSLATE_NOOP("NoteNames", "Си")};
constexpr const char* kFlatNames[12] = {
    nullptr, QT_TRANSLATE_NOOP("NoteNames", "Ре b"),   nullptr, QT_TRANSLATE_NOOP("NoteNames", "Ми b"),
    nullptr, nullptr, QT_TRANSLATE_NOOP("NoteNames", "Соль b"), nullptr,
    QT_TRANSLATE_NOOP("NoteNames", "Ля b"), nullptr, QT_TRANSLATE_NOOP("NoteNames", "Си b"), nullptr};

std::array<QString, 12> noteNames(const char* const (&names)[12])
{
    std::array<QString, 12> shown;
    for (int pc = 0; pc < 12; ++pc)
        if (names[pc])
            shown[pc] = QCoreApplication::translate("NoteNames", names[pc]);
    return shown;
}

} // namespace

CTonveroDlg::CTonveroDlg(QWidget* parent)
    : platform::TemplateDialog(parent),
      astrSharpNames(noteNames(kSharpNames)),
      astrFlatNames(noteNames(kFlatNames)),
      m_ddx(this)
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

    timers.onTimer = [this](int id) { OnTimer(id); };
    // The time a message box keeps the user is not held against the clock or the exam.
    m_heldObserver = platform::addHeldObserver([this](qint64 ms) { OnUserHeld(ms); });

    // Nothing of the history is opened here: the file waits for the first answer or preload.
    m_history = std::make_unique<history::HistoryStore>();
    m_practice = std::make_unique<history::PracticeSettings>();
    m_practice->load();
    m_answers.addListener(m_history.get());

    createWindow();
    initDialog();
    createShortcuts();
    setUpAccess();
    createMicrophone();

    connect(m_history.get(), &history::HistoryStore::notice, this,
            [this](const QString& text) { m_notices->post(QStringLiteral("history"), text); });
    // Once the window is up, so that the first Start does not wait for the file.
    QTimer::singleShot(2000, m_history.get(), [store = m_history.get()] { store->preload(); });

    keyboardFilter = new KeyboardFilter(this);
    qApp->installEventFilter(keyboardFilter);
}

CTonveroDlg::~CTonveroDlg()
{
    m_closing = true; // MIDI events still queued find the window going
    // An exercise running at exit still gets its end in the history.
    if (bRunning)
        m_answers.exerciseEnded(nNotes, nErrors, false);
    m_answers.removeListener(m_history.get());
    m_history->close();
    mmsys::resetNoticeHandler();
    // No port change reaches a window that is going.
    delete deviceWatcher;
    deviceWatcher = nullptr;
    platform::removeHeldObserver(m_heldObserver);
    // The options dialog writes into this window's members: it goes while they are whole.
    delete pOptions;
    pOptions = nullptr;
    CloseMidiInput();
    CloseMidiOutput();
    SaveSettings();
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
    // The devices' one-off notices (no audio output, ...) go to the line, not to a box that stops the exercise.
    QPointer<NoticeLine> line(m_notices);
    mmsys::setNoticeHandler([line](const std::string& text) {
        const QString message = QString::fromStdString(text);
        QMetaObject::invokeMethod(
            qApp, [line, message] {
                if (line)
                    line->post(QStringLiteral("device:") + message, message);
            },
            Qt::QueuedConnection);
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
    m_ddx.text(item(IdcTime), &strTime);
    m_ddx.integer(itemAs<QLineEdit>(IdcNotes), &nNotes);
    m_ddx.text(item(IdcErrors), &strErrors);
    UpdateData(false);
    // Lay the client out now, so that the first layout sees the window's real size.
    if (layout())
        layout()->activate();

    connectDeviceWatcher();                            // the port lists, before any port is opened
    piano->initialize(PianoLayout.data());             // 4: builds KeyTable
    LoadSettings();                                    // 5
    InterfaceSettings::loadAndApply();
    OpenMidiInput();                                   // 3, after the settings: it opens the stored port
    SetInstrumentBoxes();                              // 6
    ClearErrorWeights();                               // 7
    piano->SetRangeCount(CStaveCtrl::nClef == CStaveCtrl::TrebleBass ? 2 : 1); // 8
    piano->SetRange(0, nN12_min0, nN12_max0);
    piano->SetRange(1, nN12_min1, nN12_max1);
    guitar->initialize(GuitarLayout.data());           // 9
    bass->initialize(BassLayout.data());
    stave->SetOwner(this);                             // 10
    stave->initialize(StaveLayout.data());
    stave->SetNotes(CInstrumentCtrl::NoteFromKeyIndex(nN12_min0), CInstrumentCtrl::NoteFromKeyIndex(nN12_max0), // 11
                    CInstrumentCtrl::NoteFromKeyIndex(nN12_min1), CInstrumentCtrl::NoteFromKeyIndex(nN12_max1), -1);
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
    UpdateLayout();                                    // 15
    UpdateNoteBounds();
    if (bAppControlByMIDI)                             // 16
        StartMidiInput();
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
    case CmdHelp: DrawHelpOverlay(); break;
    case CmdReadMe: OpenReadMe(); break;
    case CmdHomePage: OpenHomePage(); break;
    case CmdAbout: OpenAbout(); break;
    case CmdStatistics: OpenStatistics(); break;
    case CmdStartStopKey: StartStop(false); break;
    case CmdPauseKey:
        if (bRunning)
            StartStop(true);
        break;
    case CmdExit: reject(); break;
    default: break;
    }
}

void CTonveroDlg::OnClef(int commandId)
{
    stave->SetClef(commandId - CmdClefTreble);
}

void CTonveroDlg::CheckClefMenu(int commandId)
{
    if (QAction* a = m_actions.value(commandId); a && m_clefGroup->actions().contains(a))
        a->setChecked(true);
}

void CTonveroDlg::UpdateRangeCount()
{
    if (!bRunning)
        piano->SetRangeCount(CStaveCtrl::nClef == CStaveCtrl::TrebleBass ? 2 : 1);
}

void CTonveroDlg::ShowNoteName(bool force)
{
    if (QLabel* label = noteNameLabel())
        label->setText(bShowNoteName || force ? strNoteName : QString());
}

QString CTonveroDlg::SharpName(int pitchClass) const
{
    return pitchClass >= 0 && pitchClass < 12 ? astrSharpNames[pitchClass] : QString();
}

QString CTonveroDlg::FlatName(int pitchClass) const
{
    return pitchClass >= 0 && pitchClass < 12 ? astrFlatNames[pitchClass] : QString();
}

int CTonveroDlg::PitchClass(int keyIndex) const
{
    return piano->GetPitchClass(keyIndex);
}

void CTonveroDlg::OpenOptions()
{
    if (!pOptions) {
        pOptions = new DialogOptions(this); // a child of the window, kept for the whole run
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
    const QStringList candidates = ReadMeCandidates(strInstallDir);
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
    StatisticsDialog dlg(*m_history, CStaveCtrl::nClef, sessionId, this);
    dlg.exec();
}

void CTonveroDlg::createMicrophone()
{
    // Settings only: the input and the detector are opened by the first exercise that uses them.
    m_microphone = new MicrophoneAnswers(this);
    m_microphone->setSettings(pitch::MicrophoneSettings::load());
    m_microphone->setExpectedNote([this] { return bRunning ? CInstrumentCtrl::NoteFromKeyIndex(nCurNote) : -1; });
    connect(m_microphone, &MicrophoneAnswers::pressed, this,
            [this](int note) { OnNoteOn(note, false, AnswerSource::Microphone); });
    connect(m_microphone, &MicrophoneAnswers::released, this, [this](int note) { OnNoteOff(note); });
    connect(m_microphone, &MicrophoneAnswers::notice, this,
            [this](const QString& text) { m_notices->post(QStringLiteral("microphone"), text); });
}

void CTonveroDlg::seedPracticeChances()
{
    m_practiceSeeded = m_practice->bRememberPractice != 0;
    m_practiceChances = m_practiceSeeded ? m_history->practiceChances(CStaveCtrl::nClef) : notedraw::ExtraChanceTable{};
}

void CTonveroDlg::createShortcuts()
{
    // Every command within reach of the keyboard; menus keep their mnemonics too.
    const std::pair<int, QKeySequence> menuKeys[] = {
        {CmdOptions, QKeySequence(Qt::CTRL | Qt::Key_Comma)},
        {CmdStatistics, QKeySequence(Qt::CTRL | Qt::Key_T)},
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

bool CTonveroDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == client() && event->type() == QEvent::MouseButtonPress) {
        auto* me = static_cast<QMouseEvent*>(event);
        // Statics let clicks through to the dialog, as on the bare background.
        QWidget* under = client()->childAt(me->position().toPoint());
        if (me->button() == Qt::LeftButton && (!under || under == m_overlay || qobject_cast<QLabel*>(under)))
            OpenOptions();
    }
    return platform::TemplateDialog::eventFilter(watched, event);
}
