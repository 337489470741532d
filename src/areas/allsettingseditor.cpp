// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "allsettingseditor.h"

#include "allsettingsmodel.h"

#include <KLocalizedString>

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QStackedWidget>

#include <limits>

using namespace OptionCatalog;

namespace
{
// Printable ASCII without blanks, quotes, '#' or '\': one word the configuration keeps as it is.
const QString Token = QStringLiteral("[\\x21\\x24-\\x26\\x28-\\x5b\\x5d-\\x7e]");

// What the line of text accepts for a kind; the helper checks the rest.
QString textPattern(const Option &option)
{
    switch (option.kind) {
    case ValueKind::Path:
        return Token + QLatin1Char('+');
    case ValueKind::Patterns:
    case ValueKind::HostPort:
        return option.separator == QLatin1Char(' ') ? QStringLiteral("%1+( %1+)*").arg(Token) : Token + QLatin1Char('+');
    case ValueKind::Triple:
        return QStringLiteral("\\d{1,10}(:\\d{1,10}){0,2}");
    default:
        // One line of printable ASCII; a word beginning with '#' would start a comment.
        return QStringLiteral("(?!#)(?!.* #)[\\x20-\\x7e]+");
    }
}

QIcon icon(const char *name)
{
    return QIcon::fromTheme(QLatin1String(name));
}
}

AllSettingsEditor::AllSettingsEditor(AllSettingsModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_title(new QLabel(this))
    , m_hint(new QLabel(this))
    , m_stack(new QStackedWidget(this))
    , m_blank(new QWidget(m_stack))
    , m_check(new QCheckBox(new QWidget(m_stack)))
    , m_numberPage(new QWidget(m_stack))
    , m_word(new QComboBox(m_numberPage))
    , m_spin(new QSpinBox(m_numberPage))
    , m_choice(new QComboBox(new QWidget(m_stack)))
    , m_text(new QLineEdit(m_stack))
    , m_validator(new QRegularExpressionValidator(this))
    , m_algorithmPage(new QWidget(m_stack))
    , m_algorithms(new QListWidget(m_algorithmPage))
    , m_up(new QPushButton(icon("go-up"), i18nc("@action:button move the algorithm up", "Up"), m_algorithmPage))
    , m_down(new QPushButton(icon("go-down"), i18nc("@action:button move the algorithm down", "Down"), m_algorithmPage))
    , m_reset(new QPushButton(icon("edit-undo"), i18nc("@action:button", "Reset to Default"), this))
{
    m_title->setWordWrap(true);
    m_hint->setWordWrap(true);
    m_check->setObjectName(QStringLiteral("allSettingsCheck"));
    m_check->setText(i18nc("@option:check a yes/no keyword is on", "Yes")); // the keyword's name once one is chosen
    m_word->setObjectName(QStringLiteral("allSettingsWord"));
    m_spin->setObjectName(QStringLiteral("allSettingsNumber"));
    m_choice->setObjectName(QStringLiteral("allSettingsChoice"));
    m_text->setObjectName(QStringLiteral("allSettingsText"));
    m_text->setValidator(m_validator);
    m_algorithms->setObjectName(QStringLiteral("allSettingsAlgorithms"));
    m_up->setObjectName(QStringLiteral("allSettingsUp"));
    m_down->setObjectName(QStringLiteral("allSettingsDown"));
    m_reset->setObjectName(QStringLiteral("allSettingsReset"));
    m_algorithms->setToolTip(i18nc("@info:tooltip", "Ticked algorithms are used, in this order; only those this OpenSSH supports are offered"));

    auto *numberLayout = new QHBoxLayout(m_numberPage);
    numberLayout->setContentsMargins({});
    numberLayout->addWidget(m_word);
    numberLayout->addWidget(m_spin);
    numberLayout->addStretch();
    // The check box and the combo box keep their own width, left-aligned.
    for (QWidget *editor : {static_cast<QWidget *>(m_check), static_cast<QWidget *>(m_choice)}) {
        auto *pageLayout = new QHBoxLayout(editor->parentWidget());
        pageLayout->setContentsMargins({});
        pageLayout->addWidget(editor);
        pageLayout->addStretch();
    }
    m_algorithms->setMaximumHeight(m_algorithms->fontMetrics().height() * 10);
    auto *algorithmLayout = new QHBoxLayout(m_algorithmPage);
    algorithmLayout->setContentsMargins({});
    algorithmLayout->addWidget(m_algorithms, 1);
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(m_up);
    buttons->addWidget(m_down);
    buttons->addStretch();
    algorithmLayout->addLayout(buttons);
    for (QWidget *page : {m_blank, m_check->parentWidget(), m_numberPage, m_choice->parentWidget(), static_cast<QWidget *>(m_text), m_algorithmPage}) {
        m_stack->addWidget(page);
    }
    auto *resetRow = new QHBoxLayout;
    resetRow->addWidget(m_hint, 1);
    resetRow->addWidget(m_reset);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins({});
    layout->addWidget(m_title);
    layout->addWidget(m_stack);
    layout->addLayout(resetRow);

    connect(m_check, &QCheckBox::toggled, this, &AllSettingsEditor::commit);
    connect(m_spin, qOverload<int>(&QSpinBox::valueChanged), this, &AllSettingsEditor::commit);
    connect(m_word, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int index) {
        m_spin->setEnabled(index == 0);
        commit();
    });
    connect(m_choice, qOverload<int>(&QComboBox::currentIndexChanged), this, &AllSettingsEditor::commit);
    connect(m_text, &QLineEdit::textChanged, this, &AllSettingsEditor::commit);
    connect(m_algorithms, &QListWidget::itemChanged, this, &AllSettingsEditor::commit);
    connect(m_up, &QPushButton::clicked, this, [this] {
        moveAlgorithm(-1);
    });
    connect(m_down, &QPushButton::clicked, this, [this] {
        moveAlgorithm(1);
    });
    connect(m_reset, &QPushButton::clicked, this, [this] {
        m_model->resetToDefault(m_row);
    });
    // The model's value is shown again after a reset or a discard, not while the editor hands it an edit.
    connect(m_model, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
        if (m_row >= topLeft.row() && m_row <= bottomRight.row()) {
            m_committing ? m_reset->setEnabled(m_model->canReset(m_row)) : reload();
        }
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        setRow(-1);
    });
    reload();
}

void AllSettingsEditor::setRow(int row)
{
    m_row = row;
    reload();
}

void AllSettingsEditor::showPage(QWidget *page)
{
    // The stack is as high as the page shown, not as the highest one.
    for (int i = 0; i < m_stack->count(); ++i) {
        m_stack->widget(i)->setSizePolicy(QSizePolicy::Preferred, m_stack->widget(i) == page ? QSizePolicy::Preferred : QSizePolicy::Ignored);
    }
    m_stack->setCurrentWidget(page);
}

void AllSettingsEditor::focusEditor()
{
    QWidget *page = m_stack->currentWidget();
    if (page == m_check->parentWidget() || page == m_choice->parentWidget()) {
        page = page == m_check->parentWidget() ? static_cast<QWidget *>(m_check) : m_choice;
    } else if (page == m_numberPage) {
        page = !m_word->isHidden() && m_word->currentIndex() > 0 ? static_cast<QWidget *>(m_word) : m_spin;
    } else if (page == m_algorithmPage) {
        page = m_algorithms;
    } else if (page == m_blank) {
        page = m_reset;
    }
    page->setFocus(Qt::OtherFocusReason);
}

void AllSettingsEditor::reload()
{
    m_loading = true;
    m_hint->clear();
    showPage(m_blank);
    m_reset->setEnabled(m_row >= 0 && m_model->canReset(m_row));
    if (m_row < 0) {
        m_title->setText(i18nc("@info", "Select a keyword to see and edit its value."));
        m_loading = false;
        return;
    }
    const Option &option = m_model->option(m_row);
    m_title->setText(i18nc("@info keyword: its description", "%1: %2", option.keyword, i18n(option.description)));
    const QVariant value = m_model->value(m_row);
    switch (m_model->access(m_row)) {
    case AllSettingsModel::Access::OtherTab:
        m_hint->setText(m_model->editedElsewhere(m_row));
        break;
    case AllSettingsModel::Access::ResetOnly:
        m_hint->setText(i18nc("@info", "This keyword is set on several lines: edit them in the file, or reset them all to the default."));
        break;
    case AllSettingsModel::Access::Edit:
        switch (option.kind) {
        case ValueKind::Bool:
            m_check->setText(option.keyword);
            m_check->setChecked(value.toBool());
            showPage(m_check->parentWidget());
            break;
        case ValueKind::RootLogin:
        case ValueKind::Choice: {
            m_choice->clear();
            m_choice->addItems(
                option.kind == ValueKind::RootLogin
                    ? QStringList{QStringLiteral("yes"), QStringLiteral("prohibit-password"), QStringLiteral("forced-commands-only"), QStringLiteral("no")}
                    : option.values.split(QLatin1Char(' ')));
            int index = m_choice->findText(value.toString(), Qt::MatchFixedString);
            if (index < 0 && !value.toString().isEmpty()) {
                // A value the table does not list (a pattern list of PermitUserEnvironment) stays selectable.
                m_choice->addItem(value.toString());
                index = m_choice->count() - 1;
            }
            m_choice->setCurrentIndex(index);
            showPage(m_choice->parentWidget());
            break;
        }
        case ValueKind::Port:
        case ValueKind::Number:
        case ValueKind::Interval:
            loadNumber(value);
            break;
        case ValueKind::Algorithms:
            loadAlgorithms(value);
            break;
        default:
            m_validator->setRegularExpression(QRegularExpression(textPattern(option)));
            m_text->setText(value.toString());
            showPage(m_text);
            break;
        }
        break;
    }
    m_loading = false;
}

void AllSettingsEditor::loadNumber(const QVariant &value)
{
    const Option &option = m_model->option(m_row);
    QStringList words = option.values.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QStringList bounds = option.kind == ValueKind::Port ? QStringList{QStringLiteral("1"), QStringLiteral("65535")}
        : words.isEmpty()                                     ? QStringList()
                                                              : words.takeFirst().split(QStringLiteral(".."));
    m_spin->setRange(bounds.value(0).toInt(), bounds.size() == 2 ? bounds.at(1).toInt() : std::numeric_limits<int>::max());
    m_spin->setSuffix(option.kind == ValueKind::Interval ? i18nc("@item:valuesuffix seconds", " s") : QString());
    const bool word = value.userType() == QMetaType::QString;
    if (word && !value.toString().isEmpty() && !words.contains(value.toString())) {
        words.append(value.toString());
    }
    m_word->clear();
    m_word->addItem(option.kind == ValueKind::Interval ? i18nc("@item:inlistbox a time in seconds", "Seconds") : i18nc("@item:inlistbox", "Number"));
    m_word->addItems(words);
    m_word->setCurrentIndex(word ? qMax(0, words.indexOf(value.toString()) + 1) : 0);
    m_word->setVisible(words.size() > 0);
    m_spin->setEnabled(m_word->currentIndex() == 0);
    m_spin->setValue(word ? m_spin->minimum() : value.toInt());
    showPage(m_numberPage);
}

void AllSettingsEditor::loadAlgorithms(const QVariant &value)
{
    const QStringList current = value.toString().split(QLatin1Char(','), Qt::SkipEmptyParts);
    QStringList supported = m_model->supportedAlgorithms(m_row);
    // Without the reply's list, only what is in force now is offered.
    const QStringList offered = supported.isEmpty() ? current : supported;
    m_algorithms->clear();
    for (const QString &name : current + supported) {
        if (offered.contains(name) && m_algorithms->findItems(name, Qt::MatchExactly).isEmpty()) {
            auto *item = new QListWidgetItem(name, m_algorithms);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            item->setCheckState(current.contains(name) ? Qt::Checked : Qt::Unchecked);
        }
    }
    showPage(m_algorithmPage);
}

void AllSettingsEditor::moveAlgorithm(int step)
{
    const int from = m_algorithms->currentRow();
    const int to = from + step;
    if (from < 0 || to < 0 || to >= m_algorithms->count()) {
        return;
    }
    m_algorithms->insertItem(to, m_algorithms->takeItem(from));
    m_algorithms->setCurrentRow(to);
    commit();
}

void AllSettingsEditor::commit()
{
    if (m_loading || m_row < 0) {
        return;
    }
    QVariant value;
    QWidget *page = m_stack->currentWidget();
    m_hint->clear();
    if (page == m_check->parentWidget()) {
        value = m_check->isChecked();
    } else if (page == m_choice->parentWidget()) {
        value = m_choice->currentText();
    } else if (page == m_numberPage) {
        value = m_word->currentIndex() > 0 ? QVariant(m_word->currentText()) : QVariant(m_spin->value());
    } else if (page == m_algorithmPage) {
        QStringList names;
        for (int i = 0; i < m_algorithms->count(); ++i) {
            if (m_algorithms->item(i)->checkState() == Qt::Checked) {
                names.append(m_algorithms->item(i)->text());
            }
        }
        if (names.isEmpty()) {
            m_hint->setText(i18nc("@info", "Tick at least one algorithm."));
            return;
        }
        value = names.join(QLatin1Char(','));
    } else if (page == m_text) {
        if (!m_text->hasAcceptableInput()) {
            m_hint->setText(i18nc("@info", "Not a valid value for %1; the last valid one is kept.", m_model->option(m_row).keyword));
            return;
        }
        value = m_text->text().simplified();
    } else {
        return;
    }
    m_committing = true;
    m_model->setValue(m_row, value);
    m_committing = false;
}
