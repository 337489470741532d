#!/bin/bash
# SPDX-FileCopyrightText: 2026 SSH Settings contributors
# SPDX-License-Identifier: GPL-2.0-or-later
# ansible-test sanity of the collection in ansible/, in a temporary copy laid out as ansible-test wants it
# (ansible_collections/NAMESPACE/NAME), with the system's Python and Debian's ansible-core:
#
#   scripts/ansible-sanity.sh [EXTRA ansible-test ARGUMENTS]
#
# Skipped: the tests whose pinned requirements ansible-test installs with pip into a virtual environment of
# their own, which needs a package index (and a download of pip's bootstrap script); run them with
# ONLINE=1 where there is one. The collection's documentation is then read by this ansible-doc instead.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
python=${PYTHON:-/usr/bin/python3}
command -v ansible-test >/dev/null || { echo "ansible-test is missing (apt-get install ansible-core)" >&2; exit 77; }
namespace=$(sed -n 's/^namespace: *//p' "$here/ansible/galaxy.yml")
name=$(sed -n 's/^name: *//p' "$here/ansible/galaxy.yml")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
collection="$work/ansible_collections/$namespace/$name"
mkdir -p "$collection"
cp -r "$here/ansible/." "$collection/"
cd "$collection"
# ansible-test takes the files git knows, when the collection is a repository of its own.
git init -q . && git add -A
python_version=$("$python" -c 'import sys; print("%d.%d" % sys.version_info[:2])')
skip=()
if [ -z "${ONLINE:-}" ]; then
    for test in ansible-doc changelog import pep8 pslint pylint runtime-metadata validate-modules yamllint; do
        skip+=(--skip-test "$test")
    done
    for module in plugins/modules/*.py; do
        module=$(basename "$module" .py)
        ansible-doc -M plugins/modules -t module "$module" >/dev/null
    done
fi
ansible-test sanity --python "$python_version" --color no "${skip[@]}" "$@"
