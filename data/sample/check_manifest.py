#!/usr/bin/env python3
"""Checks a library source folder (library.json and its RTF texts) before hvlib compiles it.

Usage: check_manifest.py [FOLDER]   (defaults to the folder holding this script)
Exits 0 when the sources are sound, 1 after listing every problem found.
"""
import json
import os
import re
import shutil
import subprocess
import sys

NAME_MAX, TITLE_MAX, CODE_MAX = 40, 100, 6
TREES = {'questions': 'Q', 'syllabus': 'S', 'resources': 'R'}
CATEGORY_TREES = ('topics', 'questionTypes', 'levels', 'papers')
TEXT_KEYS = {
    'Q': ('question', 'markScheme', 'report', 'note'),
    'S': ('syllabus',),
    'R': ('resource',),
}
ALL_TEXT_KEYS = ('question', 'markScheme', 'report', 'note', 'syllabus', 'resource')
IDENTITY_KEYS = {'code', 'title', 'name', 'children', 'related'} | set(ALL_TEXT_KEYS)
TEXT_FIELDS = {'file', 'marks', 'time', 'topics', 'type', 'level', 'papers', 'resources'}
QUESTION_ONLY_FIELDS = {'topics', 'type', 'level', 'papers', 'resources'}
MARKER_END = re.compile(rb'\\par\s+-\s*\\par\s*}\s*$')


class Checker:
    def __init__(self, root):
        self.root = root
        self.errors = []
        self.files = []

    def error(self, where, message):
        self.errors.append('%s: %s' % (where, message))

    def short_string(self, where, value, limit, what):
        if not isinstance(value, str):
            self.error(where, '%s is not a string' % what)
            return
        try:
            encoded = value.encode('cp1252')
        except UnicodeEncodeError:
            self.error(where, '%s %r has characters outside Windows-1252' % (what, value))
            return
        if len(encoded) > limit:
            self.error(where, '%s %r is longer than %d characters' % (what, value, limit))

    def category_paths(self, key, nodes):
        paths = set()

        def walk(node, prefix, where):
            if not isinstance(node, dict) or 'name' not in node:
                self.error(where, 'category without a name')
                return
            unknown = set(node) - {'name', 'children'}
            if unknown:
                self.error(where, 'unknown keys %s' % sorted(unknown))
            self.short_string(where, node['name'], NAME_MAX, 'name')
            if '/' in node['name']:
                self.error(where, 'category name %r contains "/"' % node['name'])
            path = prefix + node['name']
            if path in paths:
                self.error(where, 'duplicate category path %r' % path)
            paths.add(path)
            for i, child in enumerate(node.get('children', [])):
                walk(child, path + '/', '%s/%d' % (where, i))

        for i, node in enumerate(nodes):
            walk(node, '', '%s[%d]' % (key, i))
        return paths

    def identity_tree(self, key, letter, nodes):
        """Returns {FullID: node} and checks codes, titles, names and that lookup by ID finds each node."""
        ids = {}

        def walk(node, prefix, where):
            if not isinstance(node, dict):
                self.error(where, 'identity is not an object')
                return
            unknown = set(node) - IDENTITY_KEYS
            if unknown:
                self.error(where, 'unknown keys %s' % sorted(unknown))
            code = node.get('code', '')
            self.short_string(where, code, CODE_MAX, 'code')
            if not code:
                self.error(where, 'empty code')
            self.short_string(where, node.get('title', ''), TITLE_MAX, 'title')
            if not node.get('title'):
                self.error(where, 'empty title')
            if 'name' in node:
                self.short_string(where, node['name'], NAME_MAX, 'name')
            full = prefix + code
            if full in ids:
                self.error(where, 'duplicate FullID %s%s' % (letter, full))
            ids[full] = node
            for text_key in ALL_TEXT_KEYS:
                if text_key in node and text_key not in TEXT_KEYS[letter]:
                    self.error(where, '"%s" is not allowed in the %s tree' % (text_key, key))
            for i, child in enumerate(node.get('children', [])):
                walk(child, full, '%s/%d' % (where, i))

        for i, node in enumerate(nodes):
            walk(node, '', '%s[%d]' % (key, i))

        for full, node in ids.items():
            if find_by_id(nodes, full) is not node:
                self.error(key, 'looking up %s%s does not reach its own node' % (letter, full))
        return ids

    def text(self, where, text, text_key, categories, resource_ids):
        if not isinstance(text, dict) or 'file' not in text:
            self.error(where, 'text without "file"')
            return
        unknown = set(text) - TEXT_FIELDS
        if unknown:
            self.error(where, 'unknown keys %s' % sorted(unknown))
        if text_key != 'question' and set(text) & QUESTION_ONLY_FIELDS:
            self.error(where, 'classification is allowed on question texts only')
        for field in ('marks', 'time'):
            value = text.get(field, 0)
            if not isinstance(value, int) or not -32768 <= value <= 32767:
                self.error(where, '%s %r is not a 16-bit integer' % (field, value))
        for topic in text.get('topics', []):
            if topic not in categories['topics']:
                self.error(where, 'unknown topic %r' % topic)
        if 'type' in text and text['type'] not in categories['questionTypes']:
            self.error(where, 'unknown question type %r' % text['type'])
        if 'level' in text and text['level'] not in categories['levels']:
            self.error(where, 'unknown level %r' % text['level'])
        for paper in text.get('papers', []):
            if paper not in categories['papers']:
                self.error(where, 'unknown paper %r' % paper)
        for typed in text.get('resources', []):
            if not typed.startswith('R') or typed[1:] not in resource_ids:
                self.error(where, 'unknown resource %r' % typed)
            elif 'resource' not in resource_ids[typed[1:]]:
                self.error(where, 'resource %r has no resource text' % typed)
        path = os.path.join(self.root, text['file'])
        if not os.path.isfile(path):
            self.error(where, 'missing file %s' % text['file'])
        else:
            self.files.append(text['file'])

    def rtf(self, rel):
        with open(os.path.join(self.root, rel), 'rb') as f:
            data = f.read()
        if not data.startswith(b'{\\rtf1\\ansi\\ansicpg1252'):
            self.error(rel, 'does not start with {\\rtf1\\ansi\\ansicpg1252')
        if any(b > 127 for b in data):
            self.error(rel, 'holds 8-bit bytes; write them as \\\'xx escapes')
        depth = 0
        i = 0
        while i < len(data):
            c = data[i:i + 1]
            if c == b'\\':
                i += 2
                continue
            if c == b'{':
                depth += 1
            elif c == b'}':
                depth -= 1
                if depth == 0 and data[i + 1:].strip():
                    self.error(rel, 'text after the closing brace')
                    break
                if depth < 0:
                    break
            i += 1
        if depth != 0:
            self.error(rel, 'unbalanced braces')
        if not MARKER_END.search(data):
            self.error(rel, 'does not end with the end-of-entry marker "\\par -\\par}"')

    def unrtf(self, rel):
        result = subprocess.run(['unrtf', '--text', os.path.join(self.root, rel)],
                                capture_output=True)
        lines = [l.strip() for l in result.stdout.decode('latin-1').splitlines() if l.strip()]
        if result.returncode != 0 or not lines:
            self.error(rel, 'unrtf cannot read it: %s' % result.stderr.decode('latin-1').strip())
        elif lines[-1] != '-':
            self.error(rel, 'unrtf does not see "-" as the last paragraph')

    def run(self, use_unrtf):
        with open(os.path.join(self.root, 'library.json'), encoding='utf-8') as f:
            lib = json.load(f)
        expected = {'name', 'key', 'organisation', 'settings', 'rootNames'} | set(CATEGORY_TREES) | set(TREES)
        for missing in sorted(expected - set(lib)):
            self.error('library.json', 'missing key "%s"' % missing)
        for unknown in sorted(set(lib) - expected):
            self.error('library.json', 'unknown key "%s"' % unknown)
        self.short_string('name', lib.get('name', ''), NAME_MAX, 'library name')
        for setting, value in lib.get('settings', {}).items():
            if not isinstance(value, str):
                self.error('settings', '%s is not a string' % setting)
            if setting in ('TextFilename', 'LibFilename'):
                self.error('settings', '%s is written by the compiler' % setting)
        for root_key, root_name in lib.get('rootNames', {}).items():
            self.short_string('rootNames', root_name, NAME_MAX, root_key)

        categories = {key: self.category_paths(key, lib.get(key, [])) for key in CATEGORY_TREES}
        trees = {letter: self.identity_tree(key, letter, lib.get(key, [])) for key, letter in TREES.items()}

        seen_links = set()
        for key, letter in TREES.items():
            for full, node in trees[letter].items():
                where = '%s%s' % (letter, full)
                for text_key in TEXT_KEYS[letter]:
                    if text_key in node:
                        self.text('%s.%s' % (where, text_key), node[text_key],
                                  text_key, categories, trees['R'])
                for typed in node.get('related', []):
                    other = typed[:1]
                    if other not in trees or typed[1:] not in trees[other]:
                        self.error(where, 'related ID %r does not resolve' % typed)
                    elif other == letter:
                        self.error(where, 'related ID %r is in the same tree' % typed)
                    link = frozenset((where, typed))
                    if link in seen_links:
                        self.error(where, 'link to %r is listed twice' % typed)
                    seen_links.add(link)

        if len(set(self.files)) != len(self.files):
            self.error('library.json', 'a text file is used by more than one segment')
        texts_dir = os.path.join(self.root, 'texts')
        on_disk = {os.path.relpath(os.path.join(d, n), self.root).replace(os.sep, '/')
                   for d, _, names in os.walk(texts_dir) for n in names}
        for orphan in sorted(on_disk - set(self.files)):
            self.error(orphan, 'file is not referenced by the manifest')
        for rel in sorted(set(self.files)):
            self.rtf(rel)
            if use_unrtf:
                self.unrtf(rel)
        return trees


def find_by_id(roots, full_id):
    """Prefix descent as the program does it: the first child whose code matches wins."""
    def descend(children, pos):
        for child in children:
            code = child.get('code', '')
            if full_id.startswith(code, pos) and pos + len(code) <= len(full_id):
                if pos + len(code) == len(full_id):
                    return child
                found = descend(child.get('children', []), pos + len(code))
                if found is not None:
                    return found
        return None
    return descend(roots, 0)


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    use_unrtf = shutil.which('unrtf') is not None
    checker = Checker(root)
    trees = checker.run(use_unrtf)
    for e in checker.errors:
        print(e)
    counts = ', '.join('%s %d' % (l, len(t)) for l, t in trees.items())
    print('%d texts checked%s; identities: %s; %d problem(s)'
          % (len(checker.files), '' if use_unrtf else ' (unrtf not found, skipped)', counts, len(checker.errors)))
    return 1 if checker.errors else 0


if __name__ == '__main__':
    sys.exit(main())
