// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#include "reviewdialog.h"

#include "formaccessibility.h"

#include <KColorScheme>
#include <KLocalizedString>
#include <KMessageWidget>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

const QString ReviewDialog::DontAskAgainName = QStringLiteral("ReviewServerChanges");

namespace
{
/// The summary of the changes: a row per keyword with its values before and after, and its file.
QTreeWidget *changesView(const QList<ReviewDialog::Change> &changes, QWidget *parent)
{
    auto *view = new QTreeWidget(parent);
    view->setObjectName(QStringLiteral("reviewChanges"));
    view->setAccessibleName(i18nc("@info:accessible", "Changes"));
    view->setRootIsDecorated(false);
    view->setSelectionMode(QAbstractItemView::NoSelection);
    view->setHeaderLabels(
        {i18nc("@title:column", "Setting"), i18nc("@title:column", "Now"), i18nc("@title:column", "After Apply"), i18nc("@title:column", "File")});
    const QString none = i18nc("@item a keyword not in the file", "(not set)");
    for (const ReviewDialog::Change &change : changes) {
        new QTreeWidgetItem(view, {change.keyword, change.before.isEmpty() ? none : change.before, change.after.isEmpty() ? none : change.after, change.file});
    }
    // The file takes the width left and is shortened in its middle; no row scrolls sideways.
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setTextElideMode(Qt::ElideMiddle);
    view->header()->setStretchLastSection(true);
    for (int column = 0; column + 1 < view->columnCount(); ++column) {
        view->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }
    // As high as its rows, up to eight of them; the diff below takes the rest.
    const int rows = std::min<int>(std::max<int>(changes.size(), 1), 8);
    const int rowHeight = std::max(view->sizeHintForRow(0), view->fontMetrics().height() + 4);
    view->setFixedHeight(view->header()->sizeHint().height() + rows * rowHeight + 2 * view->frameWidth() + 2);
    view->setVisible(!changes.isEmpty());
    return view;
}

/// Gives the diff's added and removed lines the colour scheme's positive and negative backgrounds.
void colourDiff(QPlainTextEdit *diff)
{
    const KColorScheme scheme(QPalette::Active, KColorScheme::View);
    QTextCursor cursor(diff->document());
    for (QTextBlock block = diff->document()->begin(); block.isValid(); block = block.next()) {
        const QString line = block.text();
        const bool header = line.startsWith(QLatin1String("+++")) || line.startsWith(QLatin1String("---"));
        if (header || !(line.startsWith(QLatin1Char('+')) || line.startsWith(QLatin1Char('-')))) {
            continue;
        }
        QTextBlockFormat format;
        format.setBackground(scheme.background(line.startsWith(QLatin1Char('+')) ? KColorScheme::PositiveBackground : KColorScheme::NegativeBackground));
        cursor.setPosition(block.position());
        cursor.setBlockFormat(format);
    }
}
}

QList<ReviewDialog::Change> ReviewDialog::changes(const SSHManager::Review &review)
{
    QList<Change> result;
    for (auto file = review.diffs.cbegin(); file != review.diffs.cend(); ++file) {
        QList<Change> ofFile;
        const QStringList lines = QString::fromUtf8(file.value()).split(QLatin1Char('\n'));
        for (const QString &line : lines) {
            if (line.startsWith(QLatin1String("+++")) || line.startsWith(QLatin1String("---"))) {
                continue;
            }
            const bool added = line.startsWith(QLatin1Char('+'));
            if (!added && !line.startsWith(QLatin1Char('-'))) {
                continue;
            }
            const QString text = line.mid(1).trimmed();
            if (text.isEmpty() || text.startsWith(QLatin1Char('#'))) {
                continue;
            }
            // "Keyword value" or "Keyword=value", as sshd reads a line.
            const int end = text.indexOf(QRegularExpression(QStringLiteral("[\\s=]")));
            const QString keyword = end < 0 ? text : text.left(end);
            const QString value = end < 0 ? QString() : text.mid(end + 1).trimmed();
            auto same = std::find_if(ofFile.begin(), ofFile.end(), [&keyword](const Change &change) {
                return change.keyword.compare(keyword, Qt::CaseInsensitive) == 0;
            });
            if (same == ofFile.end()) {
                ofFile.append({keyword, QString(), QString(), file.key()});
                same = ofFile.end() - 1;
            }
            QString &values = added ? same->after : same->before;
            values += (values.isEmpty() ? QString() : QStringLiteral(", ")) + value;
            if (added) {
                same->keyword = keyword; // written as the new line writes it
            }
        }
        // A line moved unchanged is no change.
        ofFile.erase(std::remove_if(ofFile.begin(),
                                    ofFile.end(),
                                    [](const Change &change) {
                                        return change.before == change.after;
                                    }),
                     ofFile.end());
        result += ofFile;
    }
    return result;
}

ReviewDialog::ReviewDialog(const SSHManager::Review &review, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(i18nc("@title:window", "Review Changes"));
    auto *layout = new QVBoxLayout(this);
    const QStringList warnings = lockoutWarnings(review);
    if (!warnings.isEmpty()) {
        auto *warning = new KMessageWidget(this);
        warning->setObjectName(QStringLiteral("lockoutWarning"));
        warning->setMessageType(KMessageWidget::Warning);
        warning->setCloseButtonVisible(false);
        warning->setWordWrap(true);
        warning->setText(i18n("You may lose access to this computer:") + QStringLiteral("<ul><li>") + warnings.join(QStringLiteral("</li><li>"))
                         + QStringLiteral("</li></ul>"));
        FormAccessibility::noTabStopsIn(warning);
        layout->addWidget(warning);
    }
    QStringList files = review.diffs.keys();
    auto *summary = new QLabel(this);
    summary->setObjectName(QStringLiteral("reviewSummary"));
    summary->setWordWrap(true);
    summary->setTextFormat(Qt::PlainText);
    QString text = i18np("Apply will change this file:", "Apply will change these files:", files.size()) + QLatin1Char('\n') + files.join(QLatin1Char('\n'));
    text += QLatin1String("\n\n") + (review.restarts ? i18n("The SSH server restarts afterwards.") : i18n("The SSH server is not restarted."));
    summary->setText(text);
    layout->addWidget(summary);
    layout->addWidget(changesView(changes(review), this));

    auto *diff = new QPlainTextEdit(this);
    diff->setObjectName(QStringLiteral("reviewDiff"));
    diff->setAccessibleName(i18nc("@info:accessible", "Changed lines of the files"));
    diff->setReadOnly(true);
    diff->setLineWrapMode(QPlainTextEdit::NoWrap);
    diff->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    QByteArray all;
    for (const QByteArray &fileDiff : review.diffs) {
        all += fileDiff;
    }
    diff->setPlainText(QString::fromUtf8(all));
    colourDiff(diff);
    layout->addWidget(diff, 1);

    m_dontShowAgain = new QCheckBox(i18n("Do not show this again"), this);
    m_dontShowAgain->setObjectName(QStringLiteral("dontShowAgain"));
    layout->addWidget(m_dontShowAgain);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Apply | QDialogButtonBox::Cancel, this);
    connect(buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    buttons->button(QDialogButtonBox::Cancel)->setDefault(!warnings.isEmpty());
    buttons->button(QDialogButtonBox::Apply)->setDefault(warnings.isEmpty());
    layout->addWidget(buttons);
    resize(760, 520);
}

bool ReviewDialog::dontShowAgain() const
{
    return m_dontShowAgain->isChecked();
}

void ReviewDialog::setWarning(const QString &text)
{
    if (text.isEmpty()) {
        return;
    }
    auto *warning = new KMessageWidget(text, this);
    warning->setObjectName(QStringLiteral("reviewWarning"));
    warning->setMessageType(KMessageWidget::Warning);
    warning->setCloseButtonVisible(false);
    warning->setWordWrap(true);
    FormAccessibility::noTabStopsIn(warning);
    static_cast<QVBoxLayout *>(layout())->insertWidget(0, warning);
}

QStringList ReviewDialog::lockoutWarnings(const SSHManager::Review &review)
{
    QStringList warnings;
    for (const auto &lockout : review.lockouts) {
        if (lockout.first == QLatin1String("access")) {
            warnings.append(i18n("“%1” would refuse your user from the address you are connected from.", lockout.second));
        } else if (lockout.first == QLatin1String("authentication")) {
            warnings.append(i18n("No way to log in would be left to your user: neither a password nor an authorized key (%1).", lockout.second));
        } else if (lockout.first == QLatin1String("listening")) {
            warnings.append(i18n("The SSH server would no longer listen on %1, where this session is connected.", lockout.second));
        }
    }
    return warnings;
}
