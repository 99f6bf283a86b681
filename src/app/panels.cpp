// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/noticeline.h"
#include "app/templates.h"
#include "app/tonverodlg.h"
#include "exercise/exercise.h"
#include "settings/preferences.h"

#include <QCheckBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStringList>
#include <iterator>

using namespace tonvero;

HelpOverlay::HelpOverlay(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setAccessibleName(CTonveroDlg::tr("Подсказка по окну"));
}

void HelpOverlay::setGuide(std::vector<Caption> captions, std::vector<QLine> lines)
{
    m_captions = std::move(captions);
    m_lines = std::move(lines);
    // What the red lines point at, for whoever cannot see them.
    QStringList texts;
    for (const Caption& c : m_captions)
        texts << c.text;
    setAccessibleDescription(texts.join(QStringLiteral("; ")));
    update();
}

void HelpOverlay::paintEvent(QPaintEvent*)
{
    const QColor red(220, 0, 0);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QFont f = font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() + 2);
    p.setFont(f);
    p.setPen(red);
    for (const Caption& c : m_captions)
        p.drawText(QRect(c.at, QSize(400, 100)), Qt::AlignLeft | Qt::AlignTop, c.text);
    p.setPen(QPen(red, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    for (const QLine& l : m_lines)
        p.drawLine(l);
}

void CTonveroDlg::SetInstrumentBoxes()
{
    // A stored choice with no instrument would leave nothing to play on.
    if (!m_prefs->bPianoKeys && !m_prefs->bGuitar6 && !m_prefs->bGuitar4)
        m_prefs->bPianoKeys = 1;
    pianoBox->setChecked(m_prefs->bPianoKeys != 0);
    guitarBox->setChecked(m_prefs->bGuitar6 != 0);
    bassBox->setChecked(m_prefs->bGuitar4 != 0);
    for (QCheckBox* box : {pianoBox, guitarBox, bassBox})
        box->setEnabled(true);
}

void CTonveroDlg::OnInstrumentBox(int id)
{
    QCheckBox* clicked = itemAs<QCheckBox>(id);
    if (!clicked)
        return;
    UpdateData(true);
    if (!pianoBox->isChecked() && !guitarBox->isChecked() && !bassBox->isChecked()) {
        clicked->setChecked(true);
        clicked->setEnabled(false);
    } else {
        clicked->setEnabled(true);
    }
    for (QCheckBox* box : {pianoBox, guitarBox, bassBox})
        if (box != clicked)
            box->setEnabled(true);
    const int state = clicked->isChecked() ? 1 : 0;
    if (clicked == pianoBox)
        m_prefs->bPianoKeys = state;
    else if (clicked == guitarBox)
        m_prefs->bGuitar6 = state;
    else
        m_prefs->bGuitar4 = state;
    UpdateData(false);
    UpdateNoteBounds();
}

void CTonveroDlg::setUpAccess()
{
    // Names and descriptions for what a screen reader cannot tell from a text of its own.
    QPushButton* button = startButton();
    button->setToolTip(tr("Начать или остановить упражнение (F5); пауза — F6"));
    button->setAccessibleDescription(button->toolTip());
    for (QCheckBox* box : {pianoBox, guitarBox, bassBox}) {
        box->setToolTip(tr("Играть ли на этом инструменте в упражнении; вне упражнения видны все инструменты"));
        box->setAccessibleDescription(box->toolTip());
    }
    // What a click or a drag does where nothing shows it.
    stave->setToolTip(tr("Щелчок меняет ключ: скрипичный, басовый, альтовый, оба стана"));
    piano->setToolTip(tr("Перетащите скобки над клавишами, чтобы задать диапазон нот каждого стана"));
    QLabel* name = noteNameLabel();
    name->setAccessibleName(tr("Название ноты"));
    name->setAccessibleDescription(tr("Название ноты на стане, если его показ включён в настройках, "
                                      "и ноты, которую нужно было сыграть, после ошибки"));
    const struct {
        int edit;
        int caption;
        const char* name;
        const char* description;
    } statistics[] = {
        {IdcTime, IdcTimeCaption, QT_TR_NOOP("Время"), QT_TR_NOOP("Время упражнения; на экзамене — сколько осталось")},
        {IdcNotes, IdcNotesCaption, QT_TR_NOOP("Ноты"), QT_TR_NOOP("Сколько нот показано в этом упражнении")},
        {IdcErrors, IdcErrorsCaption, QT_TR_NOOP("Ошибки"), QT_TR_NOOP("Сколько ошибок и их доля среди нот")},
    };
    for (const auto& stat : statistics) {
        QWidget* edit = item(stat.edit);
        edit->setAccessibleName(tr(stat.name));
        edit->setAccessibleDescription(tr(stat.description));
        if (auto* caption = itemAs<QLabel>(stat.caption))
            caption->setBuddy(edit);
    }

    // Tab goes down the window as it is drawn: the stave, each instrument and
    // its box, the start button, then the statistics.
    QWidget* const order[] = {stave.get(), piano.get(), pianoBox, guitar.get(), guitarBox, bass.get(), bassBox,
                              button, item(IdcTime), item(IdcNotes), item(IdcErrors)};
    for (size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void CTonveroDlg::UpdateLayout()
{
    if (!CInstrumentCtrl::ControlsReady)
        return;
    QWidget* area = client();
    const int clientWidth = area->width();
    QPushButton* button = startButton();
    m_overlay->hide();
    update();
    const int reducedBottom = area->height() - (button->height() + 12);
    // A notice takes a row of its own above the button; the instruments stay clear of it.
    const int stackBottom = reducedBottom - noticeRowHeight();

    struct Panel {
        CInstrumentCtrl* ctrl;
        QCheckBox* box;
    };
    const Panel panels[] = {{piano.get(), pianoBox}, {guitar.get(), guitarBox}, {bass.get(), bassBox}};
    auto takesPart = [this](const Panel& p) { return p.box->isChecked() || !m_exercise->bRunning; };

    int total = stave->GetHeight();
    for (const Panel& p : panels)
        if (takesPart(p))
            total += p.ctrl->GetHeight() + p.box->height() + 8;

    int y = (stackBottom - total) / 2;
    stave->move((clientWidth - stave->GetWidth()) / 2, y);
    placeNoteNameForPhrase();
    y += stave->GetHeight() + 8;
    for (const Panel& p : panels) {
        if (!takesPart(p))
            continue;
        p.ctrl->move((clientWidth - p.ctrl->GetWidth()) / 2, y);
        y += p.ctrl->GetHeight() + p.box->height() + 8;
    }
    button->move((clientWidth - button->width()) / 2, reducedBottom);

    // The notice row never covers an instrument: a window too short for both grows.
    const int overflow = y - 8 - stackBottom;
    // Once: a window not yet shown (or one the screen holds) may not take the new size.
    if (overflow > 0 && noticeRowHeight() > 0 && !m_growing && isVisible()) {
        const int before = height();
        m_growing = true;
        // The stack is centred: it fits once the room above the row holds all of it.
        resize(width(), before + (total - stackBottom) + 1);
        const bool grown = height() > before;
        if (grown) {
            // The client takes the new height now, not at the next turn of the event loop.
            if (layout())
                layout()->activate();
            UpdateLayout();
        }
        m_growing = false;
        if (grown)
            return;
    }

    piano->Resize(CInstrumentCtrl::PianoId, piano->GetHeight(), piano->GetWidth());
    guitar->Resize(CInstrumentCtrl::GuitarId, guitar->GetHeight(), guitar->GetWidth());
    bass->Resize(CInstrumentCtrl::BassId, bass->GetHeight(), bass->GetWidth());
    stave->Resize(CInstrumentCtrl::StaveId, stave->GetHeight(), stave->GetWidth());

    for (const Panel& p : panels) {
        p.ctrl->Show(m_exercise->bRunning ? p.box->isChecked() : true);
        p.box->setVisible(!m_exercise->bRunning);
    }

    if (!bFirstShow) {
        for (size_t i = 0; i < aStatItems.size(); ++i)
            if (aStatItems[i])
                aStatItems[i]->move(clientWidth - aStatOffsets[i].x(), aStatOffsets[i].y());
    }

    ShowStatistics(m_prefs->bShowStatistics != 0);
    placeNotices();
    platform::RedrawNow(this);
}

namespace {
constexpr int kNoticeMargin = 12;
constexpr int kNoticeMaxWidth = 720;
}

int CTonveroDlg::noticeRowHeight() const
{
    if (!m_notices || m_notices->currentText().isEmpty())
        return 0;
    const int width = qMin(kNoticeMaxWidth, client()->width() - 2 * kNoticeMargin);
    return m_notices->heightForWidth(width) + 8;
}

void CTonveroDlg::placeNotices()
{
    if (!m_notices || m_notices->currentText().isEmpty())
        return;
    const QWidget* area = client();
    const int width = qMin(kNoticeMaxWidth, area->width() - 2 * kNoticeMargin);
    const int height = m_notices->heightForWidth(width);
    const int bottom = startButton()->y() - 8;
    m_notices->setGeometry((area->width() - width) / 2, bottom - height, width, height);
    m_notices->raise();
}

void CTonveroDlg::UpdateNoteBounds()
{
    const int guitarLow = GuitarLayout[8], guitarHigh = GuitarLayout[9];
    const int bassLow = BassLayout[8], bassHigh = BassLayout[9];
    int low = 0;
    int high = PianoLayout[2] - 1;
    if (!pianoBox->isChecked()) {
        low = std::min(guitarLow, bassLow);
        high = std::max(guitarHigh, bassHigh);
    }
    if (!guitarBox->isChecked()) {
        low = bassLow;
        high = bassHigh;
    }
    if (!bassBox->isChecked()) {
        low = guitarLow;
        high = guitarHigh;
    }
    if (pianoBox->isChecked()) {
        low = 0;
        high = PianoLayout[2] - 1;
    }
    piano->SetBounds(low, high);
    stave->SetNotes(CInstrumentCtrl::NoteFromKeyIndex(piano->GetRangeLow(0)),
                    CInstrumentCtrl::NoteFromKeyIndex(piano->GetRangeHigh(0)),
                    CInstrumentCtrl::NoteFromKeyIndex(piano->GetRangeLow(1)),
                    CInstrumentCtrl::NoteFromKeyIndex(piano->GetRangeHigh(1)), -1);
}

void CTonveroDlg::DrawHelpOverlay()
{
    if (m_exercise->bRunning)
        StartStop(false);
    bHelpShown = true;
    piano->RedrawRanges(false);

    const QPoint s = stave->GetPosition();
    const int x0 = s.x() - 150;
    int y = s.y() + 40;
    std::vector<HelpOverlay::Caption> captions;
    std::vector<QLine> lines;

    captions.push_back({{x0, y}, tr("1 Поменять")});
    lines.emplace_back(x0, y + 20, x0 + 84, y + 20);
    lines.emplace_back(QPoint(x0 + 84, y + 20), s + QPoint(stave->GetWidth() / 2, stave->GetHeight() / 2));

    y += 40;
    captions.push_back({{x0, y}, tr("2 Выбрать")});
    lines.emplace_back(x0 + 72, y + 20, x0, y + 20);
    for (QCheckBox* box : {pianoBox, guitarBox, bassBox})
        lines.emplace_back(QPoint(x0, y + 20), box->pos() + QPoint(5, 0));

    y += 40;
    captions.push_back({{x0, y}, tr("3 Перетащить")});
    lines.emplace_back(x0, y + 20, x0 + 96, y + 20);
    lines.emplace_back(QPoint(x0 + 96, y + 20), piano->LowEndAnchor());
    lines.emplace_back(QPoint(x0 + 96, y + 20), piano->HighEndAnchor());

    y += 40;
    captions.push_back({{x0, y}, tr("4 Нажать")});
    QPushButton* button = startButton();
    lines.emplace_back(x0, y + 20, x0 + 66, y + 20);
    lines.emplace_back(QPoint(x0 + 66, y + 20), button->pos() + QPoint(button->width() / 2, button->height() / 2));

    m_overlay->setGeometry(client()->rect());
    m_overlay->setGuide(std::move(captions), std::move(lines));
    m_overlay->show();
    m_overlay->raise();
}

bool CTonveroDlg::RemoveHelpOverlay()
{
    m_overlay->hide();
    const bool repainted = platform::RedrawNow(this);
    if (repainted)
        bHelpShown = false;
    return repainted;
}

void CTonveroDlg::showEvent(QShowEvent* event)
{
    platform::TemplateDialog::showEvent(event);
    if (bFirstShow) {
        const int clientWidth = client()->width();
        for (int i = 0; i < 6; ++i) {
            aStatItems[i] = item(IdcTime + i);
            if (aStatItems[i])
                aStatOffsets[i] = QPoint(clientWidth - aStatItems[i]->x(), aStatItems[i]->y());
        }
        bFirstShow = false;
    }
    ShowStatistics(m_prefs->bShowStatistics != 0);
}

void CTonveroDlg::resizeEvent(QResizeEvent* event)
{
    platform::TemplateDialog::resizeEvent(event);
    if (bFirstSize) {
        bFirstSize = false;
        return;
    }
    UpdateLayout();
}

void CTonveroDlg::ShowStatistics(bool show)
{
    if (bFirstShow)
        return;
    for (int id = IdcTime; id <= IdcErrorsCaption; ++id)
        if (QWidget* w = item(id))
            w->setVisible(show);
}
