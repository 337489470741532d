// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "allsettingsview.h"

#include "allsettingseditor.h"
#include "allsettingsmodel.h"
#include "allsettingsproxymodel.h"
#include "viewcolumns.h"

#include <KLocalizedString>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>

using namespace OptionCatalog;

AllSettingsView::AllSettingsView(ConfigType type, QWidget *parent, bool block)
    : QWidget(parent)
    , m_model(new AllSettingsModel(type, this))
    , m_proxy(new AllSettingsProxyModel(this))
{
    // Made in the order of the screen, which the focus follows: filters, list, editor.
    auto *search = new QLineEdit(this);
    search->setObjectName(QStringLiteral("allSettingsSearch"));
    search->setPlaceholderText(i18nc("@info:placeholder", "Search keywords and descriptions…"));
    search->setClearButtonEnabled(true);
    search->setAccessibleName(i18nc("@info:accessible", "Search keywords"));
    auto *category = new QComboBox(this);
    category->setObjectName(QStringLiteral("allSettingsCategory"));
    category->setToolTip(i18nc("@info:tooltip", "Show the keywords of one category"));
    category->setAccessibleName(i18nc("@info:accessible", "Category"));
    category->addItem(i18nc("@item:inlistbox", "All categories"), -1);
    for (const Category each : {Category::Network,
                                Category::Authentication,
                                Category::Access,
                                Category::Forwarding,
                                Category::Cryptography,
                                Category::Session,
                                Category::Logging,
                                Category::Files}) {
        category->addItem(categoryName(each), int(each));
    }
    auto *changedOnly = new QCheckBox(i18nc("@option:check", "Changed from default only"), this);
    changedOnly->setObjectName(QStringLiteral("allSettingsChanged"));
    changedOnly->setToolTip(i18nc("@info:tooltip", "Show only keywords set in a file, different from the built-in value, or edited here"));

    m_view = new QTreeView(this);
    m_editor = new AllSettingsEditor(m_model, this);
    m_proxy->setSourceModel(m_model);
    m_view->setObjectName(QStringLiteral("allSettingsView"));
    m_view->setAccessibleName(i18nc("@info:accessible", "Keywords"));
    m_view->setModel(m_proxy);
    m_view->setRootIsDecorated(false);
    m_view->setUniformRowHeights(true);
    m_view->setAllColumnsShowFocus(true);
    m_view->setSortingEnabled(true);
    m_view->sortByColumn(AllSettingsModel::KeywordColumn, Qt::AscendingOrder);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Long keywords and values are elided, not scrolled to; the description takes the rest.
    m_view->header()->setMinimumSectionSize(m_view->fontMetrics().averageCharWidth() * 6);
    ViewColumns::fitToWidth(m_view, {40, 35, 25});
    m_view->installEventFilter(this);
    auto *reset = new QAction(QIcon::fromTheme(QStringLiteral("edit-undo")), i18nc("@action:inmenu", "Reset to Default"), m_view);
    m_view->addAction(reset);
    m_view->setContextMenuPolicy(Qt::ActionsContextMenu);

    auto *filters = new QHBoxLayout;
    filters->addWidget(search, 1);
    filters->addWidget(category);
    filters->addWidget(changedOnly);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_editor);

    connect(search, &QLineEdit::textChanged, m_proxy, &AllSettingsProxyModel::setSearchText);
    connect(category, qOverload<int>(&QComboBox::currentIndexChanged), this, [this, category] {
        m_proxy->setCategory(category->currentData().toInt());
    });
    connect(changedOnly, &QCheckBox::toggled, m_proxy, &AllSettingsProxyModel::setChangedOnly);
    connect(m_view->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        m_editor->setRow(currentRow());
    });
    // A filter that hides the edited row leaves nothing to edit.
    connect(m_proxy, &QAbstractItemModel::rowsRemoved, this, [this] {
        m_editor->setRow(currentRow());
    });
    connect(m_view, &QAbstractItemView::doubleClicked, m_editor, &AllSettingsEditor::focusEditor);
    connect(reset, &QAction::triggered, this, [this] {
        if (currentRow() >= 0) {
            m_model->resetToDefault(currentRow());
        }
    });
    connect(m_model, &AllSettingsModel::changed, this, &AllSettingsView::changed);
    if (block) {
        // A block shows what its body sets; the other keywords it may take are a click away.
        changedOnly->setText(i18nc("@option:check", "Set in this block only"));
        changedOnly->setToolTip(i18nc("@info:tooltip", "Show only the keywords the block sets, or edited here"));
        changedOnly->setChecked(true);
        reset->setText(i18nc("@action:inmenu", "Remove from Block"));
        if (auto *button = m_editor->findChild<QPushButton *>(QStringLiteral("allSettingsReset"))) {
            button->setText(i18nc("@action:button", "Remove from Block"));
        }
    }
}

void AllSettingsView::setBlockValues(const QVariantMap &body, const QVariantMap &global)
{
    m_model->setBlockValues(body, global);
}

void AllSettingsView::setReadValues(const QVariantMap &reply)
{
    m_model->setReadValues(reply);
}

QVariantMap AllSettingsView::changes() const
{
    return m_model->changes();
}

void AllSettingsView::discardChanges()
{
    m_model->discardChanges();
}

QString AllSettingsView::categoryName(Category category)
{
    switch (category) {
    case Category::Network:
        return i18nc("@item:inlistbox keyword category", "Network");
    case Category::Authentication:
        return i18nc("@item:inlistbox keyword category", "Authentication");
    case Category::Access:
        return i18nc("@item:inlistbox keyword category", "Access");
    case Category::Forwarding:
        return i18nc("@item:inlistbox keyword category", "Forwarding");
    case Category::Cryptography:
        return i18nc("@item:inlistbox keyword category", "Cryptography");
    case Category::Session:
        return i18nc("@item:inlistbox keyword category", "Session");
    case Category::Logging:
        return i18nc("@item:inlistbox keyword category", "Logging");
    case Category::Files:
        return i18nc("@item:inlistbox keyword category", "Files");
    }
    return QString();
}

int AllSettingsView::currentRow() const
{
    const QModelIndex current = m_proxy->mapToSource(m_view->currentIndex());
    return current.isValid() ? current.row() : -1;
}

bool AllSettingsView::eventFilter(QObject *watched, QEvent *event)
{
    // F2 or Enter edits the current keyword, as a double click does.
    if (watched == m_view && event->type() == QEvent::KeyPress && currentRow() >= 0) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_F2 || key == Qt::Key_Return || key == Qt::Key_Enter) {
            m_editor->focusEditor();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
