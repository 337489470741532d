#!/bin/bash
# SPDX-FileCopyrightText: 2026 SSH Settings contributors
# SPDX-License-Identifier: GPL-2.0-or-later
# Checks that the module can be translated:
#   1. Messages.sh extracts the strings (with xgettext and scripts/extractrc.pl standing
#      in for KDE's translation tooling) and every source file that calls i18n is in
#      the template;
#   2. no raw string literal reaches a widget's text untranslated (a line may opt out
#      with a "// untranslated: REASON" comment, e.g. for a protocol name).
# Prints the number of strings extracted. Needs gettext and perl.
set -euo pipefail
cd "$(dirname "$0")/.."
podir=$(mktemp -d)
trap 'rm -rf "$podir"' EXIT

EXTRACTRC="perl $PWD/scripts/extractrc.pl" \
XGETTEXT="xgettext --from-code=UTF-8 -C --kde -ci18n -ki18n:1 -ki18nc:1c,2 -ki18np:1,2 -ki18ncp:1c,2,3 \
    -kki18n:1 -kki18nc:1c,2 -kki18np:1,2 -kki18ncp:1c,2,3 -kxi18n:1 -kxi18nc:1c,2 -kxi18np:1,2 -kxi18ncp:1c,2,3 \
    -ktr2i18n:1 -ktr2xi18n:1 -kI18N_NOOP:1 -kI18NC_NOOP:1c,2 --package-name=kcm_sshsettings" \
podir=$podir sh Messages.sh
pot=$podir/kcm_sshsettings.pot
[ -s "$pot" ] || { echo "Messages.sh wrote no template" >&2; exit 1; }
count=$(msgcat --no-wrap "$pot" | grep -c '^msgid "..*"$' || true)
echo "Messages.sh extracted $count strings into kcm_sshsettings.pot"

status=0
missing=$(grep -rlE '\b(i18n|i18nc|i18np|i18ncp|xi18n|xi18nc)\(' src --include='*.cpp' --include='*.h' | sort |
    while read -r file; do grep -q "^#: .*$file:" "$pot" || echo "$file"; done)
if [ -n "$missing" ]; then
    echo "Files whose strings Messages.sh does not extract:" >&2
    echo "$missing" >&2
    status=1
fi

# A widget text, title, tool tip, item or message given a literal instead of i18n().
setters='setText|setWindowTitle|setToolTip|setPlaceholderText|setTitle|setWhatsThis|setStatusTip|setLabelText|setHeaderLabels?|addTab|insertTab|setTabText|setTabToolTip|addItem|insertItem|addAction|addButton|newMessage[A-Za-z]*|QMessageBox::(information|warning|critical|question)|KMessageBox::[A-Za-z]+'
# Prose: a capitalised word or two words (identifiers such as "success_change_id" pass).
literal='(QStringLiteral|QLatin1String|QLatin1StringView|QString::fromLatin1|QString::fromUtf8|QString|tr)\("([A-Z][a-z]|[^"]*[a-z] [a-z])'
raw=$(grep -rnE "\b($setters)\(([^;]*,\s*)?$literal" src --include='*.cpp' --include='*.h' | grep -v '// untranslated:' || true)
if [ -n "$raw" ]; then
    echo "User-visible text that does not go through i18n():" >&2
    echo "$raw" >&2
    status=1
fi
exit $status
