#!/usr/bin/python
# -*- coding: utf-8 -*-
# SPDX-FileCopyrightText: 2026 SSH Settings contributors
# SPDX-License-Identifier: GPL-2.0-or-later
# GNU General Public License v2.0 or later (see https://www.gnu.org/licenses/old-licenses/gpl-2.0.txt)

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: configure
short_description: Change sshd_config or ssh_config in place, checked, backed up and reverted unless confirmed
version_added: 1.0.0
description:
  - Runs C(ssh-settings-tool --json) on the target, which edits the configuration in place (every other line,
    drop-in, comment and Match block kept), has C(sshd -t) judge the result before anything is written, keeps a
    backup of the last working configuration, and verifies each value with C(sshd -T) afterwards.
  - With O(revert_after) the change restarts sshd and is put back by itself unless it is confirmed in time, so
    a change that cuts the connection of the play undoes itself (see the collection's README for the playbook).
  - The tool is C(/usr/bin/ssh-settings-tool) or C(/usr/local/bin/ssh-settings-tool) on the target.
author:
  - SSH Settings contributors
options:
  settings:
    description:
      - Keyword to value, as sshd_config(5) (ssh_config(5) with O(client)) names them. A list gives a keyword
        several values (V(ListenAddress)); a boolean is written C(yes) or C(no).
      - A null value removes the keyword's lines outside blocks, so that its default applies.
      - Values set are changed together in one transaction, and so are the keywords removed.
    type: dict
  client:
    description: Work on the client configuration (ssh_config) instead of the server's.
    type: bool
    default: false
  match:
    description:
      - A block (Match; Host or Match for the client), found by its criteria and added at the end of the
        configuration when there is none; O(match.settings) changes its body as O(settings) changes the
        global values.
    type: dict
    suboptions:
      criteria:
        description: The block's criteria as written after Match, for example C(User backup) or C(Address 192.0.2.0/24).
        type: str
        required: true
      settings:
        description: Keyword to value in the block's body; null removes the keyword from the body.
        type: dict
        default: {}
  restart:
    description: Restart a running sshd after a server change, so that it is in force.
    type: bool
    default: false
  revert_after:
    description:
      - Restart sshd and put the earlier configuration back after this many seconds unless the change is
        confirmed with O(confirm) and the RV(token) returned.
    type: int
  confirm:
    description:
      - Keep the pending changes a token of an earlier run names (RV(token)); nothing else is done.
    type: str
notes:
  - Check mode is the tool's dry run, and diff mode shows the unified diff of every file the change touches.
  - RV(changed) is false when every value asked for is already in force and nothing was written.
attributes:
  check_mode:
    support: full
  diff_mode:
    support: full
"""

EXAMPLES = r"""
- name: Harden sshd, back by itself in 120 seconds unless confirmed
  kde.ssh_settings.configure:
    settings:
      PasswordAuthentication: false
      MaxAuthTries: 3
      X11Forwarding: null
    match:
      criteria: User backup
      settings:
        AllowTcpForwarding: false
    revert_after: 120
  register: hardening

- name: Drop the connection, so that the next task logs in anew
  ansible.builtin.meta: reset_connection

- name: Prove that a new connection works
  ansible.builtin.wait_for_connection:
    timeout: 60

- name: Keep the change
  kde.ssh_settings.configure:
    confirm: "{{ hardening.token }}"
  when: hardening.token is defined

- name: Compress the client's connections
  kde.ssh_settings.configure:
    client: true
    settings:
      Compression: true
"""

RETURN = r"""
changed:
  description: Whether a file was (in check mode would be) written.
  returned: always
  type: bool
diff:
  description: In diff mode, the unified diff of every file the change touches.
  returned: in diff mode
  type: dict
  sample: {"prepared": "--- /etc/ssh/sshd_config\n+++ /etc/ssh/sshd_config\n..."}
file_diffs:
  description: The unified diff of each file the change touches, by path.
  returned: always
  type: dict
  sample: {"/etc/ssh/sshd_config": "--- /etc/ssh/sshd_config\n+++ /etc/ssh/sshd_config\n@@ -1 +1 @@\n-MaxAuthTries 6\n+MaxAuthTries 3\n"}
token:
  description: The token that confirms the change (O(confirm)); any token of a chain of pending changes keeps them all.
  returned: when O(revert_after) armed a change
  type: str
restarted:
  description: Whether sshd was (in check mode would be) restarted.
  returned: always
  type: bool
warnings:
  description: What the tool warns of, for example sockets where sshd does not answer after the restart.
  returned: always
  type: list
  elements: str
commands:
  description: The tool's command lines run on the target.
  returned: always
  type: list
  elements: list
"""

import json
import os

from ansible.module_utils.basic import AnsibleModule

TOOL_PATHS = ("/usr/bin/ssh-settings-tool", "/usr/local/bin/ssh-settings-tool")


# A value may start with "-" (Ciphers -3des-cbc): "--" ends the tool's options before the keywords.
def words(value):
    """The tool's arguments for one value."""
    if isinstance(value, bool):
        return ["yes" if value else "no"]
    if isinstance(value, (list, tuple)):
        return [item for entry in value for item in words(entry)]
    return [str(value)]


def split_settings(settings):
    """KEYWORD VALUE... arguments of set, and the KEYWORD... arguments of unset."""
    set_args = []
    unset_args = []
    for keyword in sorted(settings or {}):
        value = settings[keyword]
        if value is None:
            unset_args.append(keyword)
        else:
            set_args += [keyword] + words(value)
    return set_args, unset_args


def common_args(params):
    return ["--json"] + (["--client"] if params.get("client") else [])


def change_args(params, check_mode):
    """The options every change takes."""
    args = []
    if check_mode:
        args.append("--dry-run")
    if params.get("restart"):
        args.append("--restart")
    if params.get("revert_after"):
        args += ["--revert-after", str(params["revert_after"])]
    return args


def normal_criteria(criteria):
    return " ".join(criteria.split()).lower()


def find_block(blocks, criteria):
    """The index of the first block with these criteria, else None."""
    for block in blocks:
        if normal_criteria(block.get("criteria", "")) == normal_criteria(criteria):
            return block.get("index")
    return None


def global_commands(params, check_mode):
    """The commands of O(settings)."""
    set_args, unset_args = split_settings(params.get("settings"))
    base = common_args(params) + change_args(params, check_mode)
    commands = []
    if set_args:
        commands.append(["set"] + base + ["--"] + set_args)
    if unset_args:
        commands.append(["unset"] + base + ["--"] + unset_args)
    return commands


def block_commands(params, check_mode, index):
    """The commands of O(match) once its block is at @index (None: still to be added)."""
    match = params["match"]
    base = common_args(params) + change_args(params, check_mode)
    if index is None:
        return [["match", "add"] + base + ["--"] + match["criteria"].split()]
    set_args, unset_args = split_settings(match.get("settings"))
    commands = []
    if set_args:
        commands.append(["match", "set"] + base + ["--", str(index)] + set_args)
    if unset_args:
        commands.append(["match", "unset"] + base + ["--", str(index)] + unset_args)
    return commands


class Tool(object):
    def __init__(self, module, path):
        self.module = module
        self.path = path
        self.result = {"changed": False, "file_diffs": {}, "restarted": False, "warnings": [], "commands": []}

    def run(self, args):
        """The tool's document; fails the module with the tool's reason."""
        command = [self.path] + args
        self.result["commands"].append(command)
        rc, out, err = self.module.run_command(command)
        try:
            document = json.loads(out) if out.strip() else {}
        except ValueError:
            document = {}
        if rc != 0:
            reason = document.get("error") or err.strip() or "ssh-settings-tool exited with %d" % rc
            self.module.fail_json(msg=reason, code=document.get("code"), rc=rc, stderr=err, **self.result)
        return document

    def change(self, args):
        document = self.run(args)
        self.result["changed"] = self.result["changed"] or bool(document.get("changed"))
        self.result["restarted"] = self.result["restarted"] or bool(document.get("restarted"))
        for path, text in (document.get("diff") or {}).items():
            self.result["file_diffs"][path] = self.result["file_diffs"].get(path, "") + text
        for warning in document.get("warnings") or []:
            # After the first armed change of this run, the next ones join its chain: no news.
            if not ("token" in self.result and warning.startswith("the change joined changes still pending")):
                self.result["warnings"].append(warning)
        if document.get("token"):
            # A later change joins the chain of an earlier one: its token names them all.
            self.result["token"] = document["token"]
        return document


def main():
    module = AnsibleModule(
        argument_spec=dict(
            settings=dict(type="dict"),
            client=dict(type="bool", default=False),
            match=dict(
                type="dict",
                options=dict(
                    criteria=dict(type="str", required=True),
                    settings=dict(type="dict", default={}),
                ),
            ),
            restart=dict(type="bool", default=False),
            revert_after=dict(type="int"),
            confirm=dict(type="str"),
        ),
        mutually_exclusive=[("confirm", "settings"), ("confirm", "match")],
        required_one_of=[("settings", "match", "confirm")],
        supports_check_mode=True,
    )
    params = module.params
    path = next((candidate for candidate in TOOL_PATHS if os.access(candidate, os.X_OK)), None)
    if path is None:
        module.fail_json(msg="ssh-settings-tool is not installed in %s" % " or ".join(TOOL_PATHS))
    tool = Tool(module, path)
    if params["confirm"]:
        if not module.check_mode:
            tool.run(["confirm", params["confirm"]])
        tool.result["changed"] = True
        module.exit_json(**tool.result)

    for command in global_commands(params, module.check_mode):
        tool.change(command)
    if params["match"]:
        listed = tool.run(["match", "list"] + common_args(params))
        index = find_block(listed.get("blocks") or [], params["match"]["criteria"])
        if index is None:
            added = tool.change(block_commands(params, module.check_mode, None)[0])
            # A dry run names the index the block would get, but there is no block to change yet: its dry run
            # shows the new block alone.
            index = None if module.check_mode else added.get("block_index")
        if index is not None:
            for command in block_commands(params, module.check_mode, index):
                tool.change(command)
    result = tool.result
    if module._diff:
        result["diff"] = {"prepared": "".join(result["file_diffs"][path] for path in sorted(result["file_diffs"]))}
    module.exit_json(**result)


if __name__ == "__main__":
    main()
