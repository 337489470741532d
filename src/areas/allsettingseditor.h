// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QWidget>

class AllSettingsModel;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRegularExpressionValidator;
class QSpinBox;
class QStackedWidget;

/**
 * Edits one keyword of AllSettingsModel with the editor its kind needs: a check box for
 * yes/no, a spin box with its unit (and the words the keyword allows instead of a number),
 * a combo box for a choice, an ordered list of the algorithms this OpenSSH supports, or a
 * validated line of text. Every edit goes to the model at once; "Reset to Default" removes
 * the keyword's lines.
 */
class AllSettingsEditor : public QWidget
{
    Q_OBJECT
public:
    explicit AllSettingsEditor(AllSettingsModel *model, QWidget *parent = nullptr);

    /// The model's row to edit; -1 for none.
    void setRow(int row);
    int row() const
    {
        return m_row;
    }
    /// Gives the keyboard focus to the editor of the row.
    void focusEditor();

private:
    void showPage(QWidget *page);
    void reload();
    void loadNumber(const QVariant &value);
    void loadAlgorithms(const QVariant &value);
    void commit();
    void moveAlgorithm(int step);

    AllSettingsModel *m_model;
    int m_row = -1;
    bool m_loading = false;
    bool m_committing = false;
    QLabel *m_title;
    QLabel *m_hint;
    QStackedWidget *m_stack;
    QWidget *m_blank;
    QCheckBox *m_check;
    QWidget *m_numberPage;
    QComboBox *m_word;
    QSpinBox *m_spin;
    QComboBox *m_choice;
    QLineEdit *m_text;
    QRegularExpressionValidator *m_validator;
    QWidget *m_algorithmPage;
    QListWidget *m_algorithms;
    QPushButton *m_up;
    QPushButton *m_down;
    QPushButton *m_reset;
};
