// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "viewcolumns.h"

#include <QEvent>
#include <QHeaderView>
#include <QPointer>
#include <QTimer>
#include <QTreeView>

#include <algorithm>

namespace
{
class ColumnFitter : public QObject
{
public:
    ColumnFitter(QTreeView *view, const QList<int> &shares)
        : QObject(view)
        , m_view(view)
        , m_viewport(view->viewport())
        , m_shares(shares)
    {
        view->header()->setSectionResizeMode(QHeaderView::Interactive);
        view->header()->setStretchLastSection(true);
        view->viewport()->installEventFilter(this); // its width changes with the vertical scroll bar too
    }

    void watch(QAbstractItemModel *model)
    {
        if (!model) {
            return;
        }
        for (const auto changed : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved}) {
            connect(model, changed, this, &ColumnFitter::fitSoon);
        }
        connect(model, &QAbstractItemModel::modelReset, this, &ColumnFitter::fitSoon);
        connect(model, &QAbstractItemModel::layoutChanged, this, &ColumnFitter::fitSoon);
        connect(model, &QAbstractItemModel::dataChanged, this, &ColumnFitter::fitSoon);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Compared as objects: the view may be half destroyed when its viewport's last events arrive.
        if (event->type() == QEvent::Resize && watched == m_viewport && !m_view.isNull()) {
            fit();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    // Many rows arrive one by one: they are measured once, when the event loop comes back.
    void fitSoon()
    {
        if (!m_pending) {
            m_pending = true;
            QTimer::singleShot(0, this, &ColumnFitter::fit);
        }
    }

    void fit()
    {
        m_pending = false;
        QHeaderView *header = m_view->header();
        const int width = m_view->viewport()->width() - header->defaultSectionSize();
        auto *view = static_cast<QAbstractItemView *>(m_view.data()); // QTreeView hides the size hint it overrides
        for (int column = 0; column < m_shares.size() && column + 1 < header->count(); ++column) {
            const int contents = std::max(view->sizeHintForColumn(column), header->sectionSizeHint(column));
            header->resizeSection(column, std::min(contents, width * m_shares.at(column) / 100));
        }
    }

    QPointer<QTreeView> m_view;
    const QObject *m_viewport;
    QList<int> m_shares;
    bool m_pending = false;
};
}

void ViewColumns::fitToWidth(QTreeView *view, const QList<int> &shares)
{
    auto *fitter = new ColumnFitter(view, shares);
    fitter->watch(view->model());
}
