// SPDX-FileCopyrightText: 2026 SSH Settings contributors
// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

class AbstractOptionArea;
class QWidget;
struct SSHOption;

/// The editor of @p option: the page's own one it names, or the one of its keyword's kind; nullptr for a kind without one.
AbstractOptionArea *createOptionArea(const SSHOption &option, QWidget *parent);
