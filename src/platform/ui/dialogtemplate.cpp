// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ui/dialogtemplate.h"

#include <QCoreApplication>

#include "platform/ui/bitmap.h"
#include "platform/ui/messagebox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QToolButton>
#include <QVBoxLayout>
#include <mutex>

namespace platform {

QString DialogTemplate::shown(const QString& text) const
{
    if (!context || text.isEmpty())
        return text;
    return QCoreApplication::translate(context, text.toUtf8().constData());
}

namespace {
std::mutex classMutex;
QSet<QString>& classNames()
{
    static QSet<QString> names;
    return names;
}
} // namespace

bool RegisterWindowClass(const QString& name)
{
    std::lock_guard lock(classMutex);
    classNames().insert(name); // registering an existing name succeeds, as for the two fretboards
    return true;
}

bool IsWindowClassRegistered(const QString& name)
{
    std::lock_guard lock(classMutex);
    return classNames().contains(name);
}

QFont DialogFont(const DialogTemplate& tmpl)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    if (tmpl.fontFamily != QLatin1String("MS Shell Dlg"))
        font.setFamily(tmpl.fontFamily);
    font.setPointSize(tmpl.pointSize);
    return font;
}

DialogUnits DialogUnits::fromFont(const QFont& font)
{
    const QFontMetrics fm(font);
    const int alphabet = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    DialogUnits u;
    u.baseX = qMax(1, (alphabet / 26 + 1) / 2);
    u.baseY = qMax(1, fm.height());
    return u;
}

QRect DialogUnits::rect(const QRect& du) const
{
    const int left = x(du.x());
    const int top = y(du.y());
    const int right = x(du.x() + du.width());
    const int bottom = y(du.y() + du.height());
    return QRect(left, top, right - left, bottom - top);
}

UpDownArrows::UpDownArrows(QWidget* parent)
    : QWidget(parent), m_up(new QToolButton(this)), m_down(new QToolButton(this))
{
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    m_up->setAutoRepeat(true);
    m_down->setAutoRepeat(true);
    connect(m_up, &QToolButton::clicked, this, [this] { emit deltaPos(-1); });
    connect(m_down, &QToolButton::clicked, this, [this] { emit deltaPos(+1); });
}

void UpDownArrows::resizeEvent(QResizeEvent*)
{
    const int half = height() / 2;
    m_up->setGeometry(0, 0, width(), half);
    m_down->setGeometry(0, half, width(), height() - half);
}

TemplateDialog::TemplateDialog(QWidget* parent) : QDialog(parent) {}

bool TemplateDialog::createFromTemplate(const DialogTemplate& tmpl, const QHash<int, QWidget*>& customs,
                                        QMenuBar* menuBar)
{
    setWindowTitle(tmpl.shown(tmpl.title));
    const QFont font = DialogFont(tmpl);
    setFont(font);
    m_units = DialogUnits::fromFont(font);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    if (menuBar)
        layout->setMenuBar(menuBar);
    m_client = new QWidget(this);
    layout->addWidget(m_client);
    m_client->setMinimumSize(m_units.size(tmpl.size));

    bool ok = true;
    for (const DialogItem& item : tmpl.items) {
        DialogItem it = item;
        if (it.kind != ItemKind::StaticIcon)
            it.text = tmpl.shown(it.text);
        QWidget* w = nullptr;
        switch (it.kind) {
        case ItemKind::PushButton:
        case ItemKind::DefPushButton: {
            // A focused push button takes Enter, as in any dialog.
            auto* b = new QPushButton(it.text, m_client);
            b->setAutoDefault(true);
            b->setDefault(it.kind == ItemKind::DefPushButton);
            w = b;
            break;
        }
        case ItemKind::CheckBox: w = new QCheckBox(it.text, m_client); break;
        case ItemKind::RadioButton: {
            auto* r = new QRadioButton(it.text, m_client);
            r->setAutoExclusive(false); // the handlers check one button of a group at a time
            w = r;
            break;
        }
        case ItemKind::GroupBox: w = new QGroupBox(it.text, m_client); break;
        case ItemKind::Static: {
            auto* l = new QLabel(it.text, m_client);
            l->setTextFormat(Qt::PlainText);
            l->setWordWrap(it.style & MultiLine);
            l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            w = l;
            break;
        }
        case ItemKind::StaticIcon: {
            auto* l = new QLabel(m_client);
            l->setPixmap(QPixmap::fromImage(LoadBitmap(it.text.toInt(), devicePixelRatioF())));
            w = l;
            break;
        }
        case ItemKind::Edit: {
            auto* e = new QLineEdit(m_client);
            e->setReadOnly(it.style & ReadOnly);
            if (it.style & RightAlign)
                e->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            w = e;
            break;
        }
        case ItemKind::DropDownList: w = new QComboBox(m_client); break;
        case ItemKind::UpDown: w = new UpDownArrows(m_client); break;
        case ItemKind::Custom: {
            w = customs.value(it.id);
            if (!w || !IsWindowClassRegistered(it.className)) {
                ok = false;
                continue;
            }
            w->setParent(m_client);
            break;
        }
        }
        w->setObjectName(QString::number(it.id));
        QRect r = m_units.rect(it.rect);
        if (it.kind == ItemKind::DropDownList) // the template's height includes the open list
            r.setHeight(qMax(w->sizeHint().height(), m_units.y(14)));
        w->setGeometry(r);
        if (it.kind == ItemKind::GroupBox)
            w->lower();
        if (it.style & Disabled)
            w->setEnabled(false);
        if (!(it.style & Hidden))
            w->show();
        else
            w->hide();
        if (it.id > 0)
            m_items.insert(it.id, w);
    }
    resize(m_units.size(tmpl.size).width(), m_units.size(tmpl.size).height() + (menuBar ? menuBar->sizeHint().height() : 0));
    return ok;
}

void DataExchange::check(QAbstractButton* box, int* member)
{
    m_bindings.push_back([box, member](bool save) {
        if (!box)
            return true;
        if (save)
            *member = box->isChecked() ? 1 : 0;
        else
            box->setChecked(*member != 0);
        return true;
    });
}

void DataExchange::text(QWidget* w, QString* member)
{
    m_bindings.push_back([w, member](bool save) {
        if (auto* e = qobject_cast<QLineEdit*>(w)) {
            if (save) *member = e->text(); else e->setText(*member);
        } else if (auto* l = qobject_cast<QLabel*>(w)) {
            if (save) *member = l->text(); else l->setText(*member);
        }
        return true;
    });
}

void DataExchange::integer(QLineEdit* edit, int* member)
{
    m_bindings.push_back([this, edit, member](bool save) {
        if (!edit)
            return true;
        if (!save) {
            edit->setText(QString::number(*member));
            return true;
        }
        bool ok = false;
        const int v = edit->text().trimmed().toInt(&ok);
        if (!ok) {
            MessageBox(m_parent, QStringLiteral("Please enter an integer."), QString(), MsgIcon::Exclamation);
            edit->setFocus();
            return false;
        }
        *member = v;
        return true;
    });
}

void DataExchange::comboIndex(QComboBox* combo, int* member)
{
    m_bindings.push_back([combo, member](bool save) {
        if (!combo)
            return true;
        if (save)
            *member = combo->currentIndex();
        else
            combo->setCurrentIndex(*member);
        return true;
    });
}

bool DataExchange::run(bool save)
{
    m_loading = !save;
    bool ok = true;
    for (auto& binding : m_bindings) {
        if (!binding(save)) {
            ok = false;
            break;
        }
    }
    m_loading = false;
    return ok;
}

} // namespace platform
