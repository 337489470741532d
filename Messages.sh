#!/bin/sh
# SPDX-FileCopyrightText: 2026 SSH Settings contributors
# SPDX-License-Identifier: GPL-2.0-or-later
# Extracts the module's user-visible strings into kcm_sshsettings.pot: the forms
# first (through rc.cpp), then every C++ file of src/, with the keyword table's
# descriptions marked N_("..."). Run by KDE's translation tooling, which sets
# EXTRACTRC, XGETTEXT and podir; scripts/check-messages.sh runs it too.
$EXTRACTRC $(find src -name '*.ui' | sort) >> rc.cpp
$XGETTEXT --keyword=N_:1 rc.cpp $(find src -name '*.cpp' -o -name '*.h' | sort) -o $podir/kcm_sshsettings.pot
rm -f rc.cpp
