// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/stavectrl.h"

#include "controls/accessibleinstrument.h"
#include "music/notenames.h"
#include "platform/ui/bitmap.h"
#include "platform/ui/window.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStringList>
#include <algorithm>
#include <cstdlib>

namespace {

// Indexes into the stave layout table.
constexpr int ClefPicture = 0; // 4 entries, by clef
constexpr int StepOffset = 4; // 4 entries, by clef (the grand staff reads Treble and Bass)
constexpr int NotePicture = 8;
constexpr int AltNotePicture = 9;
constexpr int LedgerLength = 10;
constexpr int LedgerLeft = 11;
constexpr int NoteTop = 12;
constexpr int LeftShift = 13;
constexpr int AccidentalTop = 14;
constexpr int Staff = 15; // 2 × (noteX, lineY)
constexpr int LineSpacing = 19;
constexpr int HalfStepShift = 20;
constexpr int ClefPos = 21; // 4 × (x, y), by clef
constexpr int LineLength = 29;
constexpr int RefStep = 30;

constexpr int SharpPicture = 156;
constexpr int FlatPicture = 157;

// C's rand may reach far beyond 32767 (glibc: 2^31 − 1); the even split needs 0..32767.
int defaultRandom()
{
    return int(unsigned(std::rand()) % 32768u);
}

// A line of one 1× pixel from x0 up to, not including, x1.
void hLine(QPainter& p, int x0, int x1, int y)
{
    if (x1 > x0)
        p.fillRect(QRect(x0, y, x1 - x0, 1), Qt::black);
}

} // namespace

int CStaveCtrl::nClef = CStaveCtrl::TrebleBass;
int (*CStaveCtrl::Random)() = defaultRandom;

CStaveCtrl::CStaveCtrl(int controlId, const char* className, QWidget* parent)
    : CInstrumentCtrl(controlId, className, parent)
{
    setAccessibleName(tr("Нотный стан"));
    setAccessibleDescription(tr("Во время упражнения показывает ноту, которую нужно сыграть, вне "
                                "упражнения — границы диапазонов нот. Ключ меняется щелчком, пробелом, "
                                "Enter или в меню «Конфигурация»."));
}

CStaveCtrl::~CStaveCtrl() = default;

const StaveLayoutTable& CStaveCtrl::DefaultLayout()
{
    static const StaveLayoutTable layout{
        137, 138, 139, 152,           // clef pictures
        0, 12, 6, 0,                  // step offsets (the grand staff's entry is not read)
        140, 141,                     // note, red note
        21, 4, 27, -15, 16,           // ledger length, ledger left, note top, left shift, accidental top
        18, 28,                       // upper staff: note x, second line y
        41, 161,                      // lower staff: note x, second line y
        9, 4,                         // line spacing, half-step shift
        30, 120, 30, 120, 30, 120, 10, 60, // clef positions
        59,                           // staff line length
        30,                           // reference step
    };
    return layout;
}

int CStaveCtrl::effectiveClef()
{
    return nClef >= Treble && nClef <= TrebleBass ? nClef : TrebleBass;
}

bool CStaveCtrl::initialize(const int* layout)
{
    m_layout = layout;
    const QSize grand = platform::BitmapSize(m_layout[ClefPicture + TrebleBass]);
    m_width = m_layout[ClefPos + 2 * TrebleBass] + m_layout[LedgerLength] + grand.width()
        + std::max(m_layout[Staff], m_layout[Staff + 2]);
    m_height = grand.height() + 2 * m_layout[ClefPos + 2 * TrebleBass + 1];
    prepareSurface(QSize(m_width, m_height),
                   QStringLiteral("CStaveCtrl::initialize():\nthe off-screen picture cannot be created"));
    SetNotes(-1, -1, -1, -1, -1);
    Resize(ControlId(), m_height, m_width);
    return true;
}

void CStaveCtrl::ShowNote(int note, int staff, Accidental accidental)
{
    if (staff != 0 && staff != 1)
        return;
    m_chosenAccidentals = {};
    m_chosenAccidentals[std::size_t(2 * staff)] = accidental;
    setNoteSlots(note, -1, -1, -1, staff);
    Draw(false);
}

void CStaveCtrl::SetNotes(int note0, int note1, int note2, int note3, int staff)
{
    m_chosenAccidentals = {};
    setNoteSlots(note0, note1, note2, note3, staff);
    Draw(false);
}

void CStaveCtrl::setNoteSlots(int note0, int note1, int note2, int note3, int staff)
{
    if (staff == 0 || staff == 1) {
        m_noteSlots[2 * staff] = KeyIndexFromNote(note0);
        m_noteSlots[2 * staff + 1] = KeyIndexFromNote(note1);
        m_noteSlots[2 * (1 - staff)] = -1;
        m_noteSlots[2 * (1 - staff) + 1] = -1;
    } else if (staff < 0) {
        m_noteSlots = {KeyIndexFromNote(note0), KeyIndexFromNote(note1), KeyIndexFromNote(note2),
                       KeyIndexFromNote(note3)};
    }
    // There are two staves: any other staff leaves the slots as they are.
}

void CStaveCtrl::SetClef(int clef)
{
    nClef = clef >= Treble && clef <= TrebleBass ? clef : TrebleBass;
    Draw(false);
    if (m_owner) {
        m_owner->CheckClefMenu(ClefMenuBase + nClef);
        m_owner->UpdateRangeCount();
    }
}

void CStaveCtrl::Draw(bool frame)
{
    NotifyRedrawRequest();
    if (m_phraseShown) {
        drawPhrase(frame);
        return;
    }
    if (!m_layout)
        return;

    // The screen's pixel ratio may have changed since the last draw (another screen).
    QImage& img = surface();
    if (!img.isNull()
        && (img.devicePixelRatio() != pixelRatio() || img.deviceIndependentSize() != QSizeF(m_width, m_height)))
        prepareSurface(QSize(m_width, m_height), QString());
    const bool canPaint = !img.isNull();
    const qreal ratio = canPaint ? img.devicePixelRatio() : 1.0;

    QPainter p;
    if (canPaint) {
        p.begin(&img);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.fillRect(QRect(0, 0, m_width, m_height), Qt::white);
    }

    const int* L = m_layout;
    const int c = effectiveClef();
    const int clefX = L[ClefPos + 2 * c];
    const int clefY = L[ClefPos + 2 * c + 1];
    const QImage clefImg = platform::LoadBitmap(L[ClefPicture + c], ratio);
    const QSize pic = clefImg.isNull() ? QSize() : clefImg.deviceIndependentSize().toSize();
    if (canPaint && !clefImg.isNull())
        p.drawImage(QPoint(clefX, clefY), clefImg);

    const int staves = c == TrebleBass ? 2 : 1;
    const QImage noteImg = platform::LoadBitmap(L[NotePicture], ratio);
    for (int s = 0; s < staves; ++s) {
        const int offset = c == TrebleBass ? L[StepOffset + s] : L[StepOffset + c];
        const int lineY = clefY + L[Staff + 2 * s + 1];
        const int noteX = clefX + pic.width() + L[Staff + 2 * s];
        for (int slot = 2 * s; slot <= 2 * s + 1; ++slot) {
            const int k = m_noteSlots[slot];
            m_slotAccidentals[slot] = NoAccidental;
            // Only piano keys have a place on the staff.
            if (k < 0 || k >= KeyCount)
                continue;
            int step = KeyTable[k].whiteIndex + offset;
            int accidental = 0;
            const int pitchClass = m_owner ? m_owner->PitchClass(k) : (k + 9) % 12;
            QString name = m_owner ? m_owner->SharpName(pitchClass) : QString();
            if (!KeyTable[k].isWhite) {
                const Accidental chosen = m_chosenAccidentals[std::size_t(slot)];
                if (chosen == FlatSign || (chosen == NoAccidental && Random() <= 16383)) {
                    accidental = FlatPicture;
                    m_slotAccidentals[slot] = FlatSign;
                    ++step;
                    if (m_owner)
                        name = m_owner->FlatName(pitchClass);
                } else {
                    accidental = SharpPicture;
                    m_slotAccidentals[slot] = SharpSign;
                }
            }
            if (m_owner)
                m_owner->SetNoteNameText(name);

            const int d = step - L[RefStep];
            const int y = d % 2 == 0 ? lineY - L[NoteTop] - L[LineSpacing] * (d / 2)
                                     : lineY - L[NoteTop] + L[HalfStepShift] - L[LineSpacing] * ((d + 1) / 2);
            if (!canPaint)
                continue;
            if (!noteImg.isNull())
                p.drawImage(QPoint(noteX, y), noteImg);
            if (accidental) {
                const QImage acc = platform::LoadBitmap(accidental, ratio);
                if (!acc.isNull())
                    p.drawImage(QPoint(noteX + L[LeftShift], y + L[AccidentalTop]), acc);
            }
            const int x0 = noteX - L[LedgerLeft];
            const int x1 = x0 + L[LedgerLength];
            if (d > 4) {
                const int n = (d - 3) / 2;
                for (int j = 2; j <= n + 1; ++j)
                    hLine(p, x0, x1, lineY - L[LineSpacing] * j);
            } else if (d < -6) {
                const int n = (-d - 5) / 2;
                for (int j = 4; j <= n + 3; ++j)
                    hLine(p, x0, x1, lineY + L[LineSpacing] * j);
            }
        }
        if (canPaint) {
            const int x0 = clefX + pic.width() + L[LeftShift];
            const int x1 = x0 + L[LineLength] * staves;
            for (int j = -1; j <= 3; ++j)
                hLine(p, x0, x1, lineY + L[LineSpacing] * j);
        }
    }

    if (canPaint) {
        if (frame) {
            const int r = m_width - 1, b = m_height - 1;
            hLine(p, 0, m_width, 0);
            hLine(p, 0, m_width, b);
            p.fillRect(QRect(0, 0, 1, m_height), Qt::black);
            p.fillRect(QRect(r, 0, 1, m_height), Qt::black);
        }
        p.end();
        presentSurface();
    }
    if (m_owner)
        m_owner->ShowNoteName(false);
    int firstNote = -1;
    const int shownSlots = effectiveClef() == TrebleBass ? 4 : 2;
    for (int slot = 0; slot < shownSlots && firstNote < 0; ++slot)
        if (m_noteSlots[slot] >= 0 && m_noteSlots[slot] < KeyCount)
            firstNote = NoteFromKeyIndex(m_noteSlots[slot]);
    storeFocusNote(firstNote);
    valueMayHaveChanged();
}

void CStaveCtrl::paintFocus(QPainter& painter)
{
    // Inside the one-pixel frame of a drag, so the two never meet.
    const QSize size = pictureSize();
    drawFocusOutline(painter, QRect(2, 2, size.width() - 5, size.height() - 5));
}

QString CStaveCtrl::accessibleValue() const
{
    if (m_phraseShown)
        return phraseValue();
    static const char* const clefNames[4] = {
        QT_TR_NOOP("Скрипичный ключ"), QT_TR_NOOP("Басовый ключ"), QT_TR_NOOP("Альтовый ключ"),
        QT_TR_NOOP("Скрипичный и басовый ключи")};
    const int c = effectiveClef();
    auto notesOf = [this](int staff) {
        QStringList notes;
        for (int slot = 2 * staff; slot <= 2 * staff + 1; ++slot) {
            const int k = m_noteSlots[slot];
            if (k < 0 || k >= KeyCount)
                continue;
            const auto spelling = m_slotAccidentals[slot] == FlatSign ? accessibility::Spelling::Flat
                                                                      : accessibility::Spelling::Sharp;
            notes << accessibility::spokenNote(NoteFromKeyIndex(k), spelling);
        }
        return notes.join(tr(" и "));
    };
    QStringList pieces;
    if (c == TrebleBass) {
        const QString upper = notesOf(0);
        const QString lower = notesOf(1);
        if (!upper.isEmpty())
            pieces << tr("верхний стан: %1").arg(upper);
        if (!lower.isEmpty())
            pieces << tr("нижний стан: %1").arg(lower);
    } else if (const QString notes = notesOf(0); !notes.isEmpty()) {
        pieces << notes;
    }
    const QString content = pieces.isEmpty() ? tr("нот нет") : pieces.join(QStringLiteral("; "));
    return QStringLiteral("%1: %2").arg(tr(clefNames[c]), content);
}

// Mouse events stay with the control: passing them on would hand them to the owner window.
void CStaveCtrl::click()
{
    const int next = effectiveClef() + 1;
    SetClef(next >= 4 ? Treble : next);
}

void CStaveCtrl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        click();
    } else if (event->button() == Qt::RightButton) {
        beginDrag(event->position().toPoint());
        Draw(true);
    }
}

void CStaveCtrl::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging() && exactlyButton(event, Qt::RightButton)) {
        NotifyRedrawRequest();
        const QSize size = pictureSize();
        dragStep(event->position().toPoint(), size.height(), size.width());
    }
}

void CStaveCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        endDrag();
        Draw(false);
    }
}

QSize CStaveCtrl::pictureSize() const
{
    return m_phraseShown ? size() : QSize(m_width, m_height);
}

void CStaveCtrl::ShowPhrase(const tonvero::music::Phrase& phrase)
{
    m_phrase = phrase;
    m_phraseShown = true;
    m_phraseCursor = 0;
    m_fittedClef = -1;
    Draw(false);
}

void CStaveCtrl::ClearPhrase()
{
    if (!m_phraseShown)
        return;
    m_phraseShown = false;
    m_phrase = {};
    m_fit = {};
    m_fittedClef = -1;
    Draw(false);
}

void CStaveCtrl::SetPhraseCursor(int event)
{
    const int last = m_phrase.eventCount();
    m_phraseCursor = std::clamp(event, 0, last);
    if (m_phraseShown)
        Draw(false);
}

void CStaveCtrl::SetPlayedNotesVisible(bool visible)
{
    if (m_playedVisible == visible)
        return;
    m_playedVisible = visible;
    if (m_phraseShown)
        Draw(false);
}

void CStaveCtrl::SetPhraseNames(bool shown)
{
    if (m_phraseNames == shown)
        return;
    m_phraseNames = shown;
    if (m_phraseShown)
        Draw(false);
}

QSize CStaveCtrl::phraseSizeHint(int bars) const
{
    return phrasepicture::sizeHint(tonvero::notation::Clef(effectiveClef()), bars);
}

QRectF CStaveCtrl::phraseCursorBand() const
{
    return m_phraseShown ? phrasepicture::cursorBand(m_fit, m_phraseCursor) : QRectF();
}

void CStaveCtrl::resizeEvent(QResizeEvent* event)
{
    CInstrumentCtrl::resizeEvent(event);
    if (m_phraseShown)
        Draw(false);
}

void CStaveCtrl::redrawMarks()
{
    if (m_phraseShown)
        Draw(false);
}

void CStaveCtrl::fitPhrase()
{
    const QSize size = pictureSize();
    if (m_fittedClef == effectiveClef() && m_fittedSize == size && m_fittedNames == m_phraseNames)
        return;
    m_fit = phrasepicture::fitLine(m_phrase, tonvero::notation::Clef(effectiveClef()), size, m_phraseNames);
    m_fittedClef = effectiveClef();
    m_fittedSize = size;
    m_fittedNames = m_phraseNames;
}

void CStaveCtrl::drawPhrase(bool frame)
{
    fitPhrase();
    const QSize size = pictureSize();
    if (size.isEmpty())
        return;
    QImage& img = surface();
    if (img.isNull() || img.devicePixelRatio() != pixelRatio() || img.deviceIndependentSize() != QSizeF(size))
        prepareSurface(size, QStringLiteral("CStaveCtrl::drawPhrase():\nthe off-screen picture cannot be created"));
    if (img.isNull())
        return;
    QPainter p(&img);
    phrasepicture::Look look;
    look.cursor = m_phraseCursor;
    look.playedVisible = m_playedVisible;
    look.names = m_phraseNames;
    look.shapeMarks = ShapeMarks;
    phrasepicture::paint(p, size, m_fit, m_phrase, look, &m_sprites);
    if (frame)
        drawFrame(p, size);
    p.end();
    presentSurface();
    const tonvero::music::Event* e = m_phrase.eventAt(m_phraseCursor);
    storeFocusNote(e && !e->notes.empty() ? e->notes.front().pitch.midi() : -1);
    valueMayHaveChanged();
}

QString CStaveCtrl::phraseValue() const
{
    const QString key = m_phrase.key.displayName();
    const QString time = QStringLiteral("%1/%2").arg(m_phrase.time.numerator()).arg(m_phrase.time.denominator());
    const tonvero::music::Event* e = m_phrase.eventAt(m_phraseCursor);
    QString now;
    if (!e) {
        now = tr("строка сыграна");
    } else if (e->notes.empty()) {
        now = tr("пауза");
    } else {
        std::vector<tonvero::music::Pitch> pitches;
        for (const auto& n : e->notes)
            pitches.push_back(n.pitch);
        std::sort(pitches.begin(), pitches.end(), [](const auto& a, const auto& b) { return a.midi() < b.midi(); });
        QStringList names;
        for (const auto& pitch : pitches)
            names << tonvero::music::spokenWrittenName(pitch);
        now = pitches.size() > 1 ? tr("аккорд %1").arg(names.join(tr(" и "))) : names.front();
    }
    return tr("%1, размер %2, нота %3 из %4: %5")
        .arg(key, time)
        .arg(std::min(m_phraseCursor + 1, m_phrase.eventCount()))
        .arg(m_phrase.eventCount())
        .arg(now);
}
