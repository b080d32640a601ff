#!/usr/bin/env bash
# Compares the text our RTF reader extracts from every file of the RTF corpus with what
# `unrtf --text` and `pandoc -f rtf -t plain` extract, as normalised word sequences, and
# writes one line per file to a report.  A file agrees when the better of the two tools'
# word sequences matches ours on at least 98% of the words.
# Usage: rtf-corpus-report.sh [HVRTF] [REPORT]   (defaults: build/debug/tools/hvrtf/hvrtf,
# build/rtf-corpus-report.tsv); the corpus is ../shared/rtf-corpus beside the repository.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
hvrtf=${1:-$root/build/debug/tools/hvrtf/hvrtf}
report=${2:-$root/build/rtf-corpus-report.tsv}
corpus=${HV_RTF_CORPUS:-$root/../shared/rtf-corpus}
if [ ! -d "$corpus" ]; then
  echo "no RTF corpus at $corpus; nothing to compare"
  exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
for f in "$corpus"/*.rtf; do
  b=$(basename "$f")
  start=$(date +%s%N)
  rc=0
  timeout 20 "$hvrtf" "$f" "$work/$b.ours.txt" 2>/dev/null || rc=$?
  end=$(date +%s%N)
  echo "$b $rc $(( (end - start) / 1000000 ))" >> "$work/runs"
  timeout 60 unrtf --text "$f" > "$work/$b.unrtf" 2>/dev/null || true
  timeout 60 pandoc -f rtf -t plain --wrap=none "$f" > "$work/$b.pandoc" 2>/dev/null || true
done
python3 - "$work" "$report" <<'PY'
import difflib, os, re, sys, unicodedata
work, report = sys.argv[1], sys.argv[2]

def words(path, unrtf=False):
    try:
        text = open(path, encoding='utf-8', errors='replace').read()
    except FileNotFoundError:
        return []
    if unrtf:
        # unrtf prefixes its own comment lines and a rule before the text.
        # unrtf prints its own comments and the document's properties (title, author, ...)
        # above a rule; only what follows the rule is the document's text.
        rule = text.find('-----------------\n')
        if rule >= 0:
            text = text[rule + 18:]
        text = '\n'.join(l for l in text.split('\n') if not l.startswith('###'))
    # Picture placeholders the tools print instead of pictures are not text of the document.
    text = re.sub(r'\[image\]|pict\d+\.(?:jpg|png|wmf|emf|bmp|pict)', ' ', text)
    text = unicodedata.normalize('NFKC', text).lower()
    text = text.replace('\u00ad', '')
    return [w for w in re.split(r'[^\w]+', text) if w]

def agreement(ours, ref):
    if not ref and not ours:
        return 1.0
    if not ref or not ours:
        return 0.0
    m = difflib.SequenceMatcher(None, ref, ours, autojunk=False) if len(ref) * len(ours) < 4e8 else difflib.SequenceMatcher(None, ref, ours)
    matched = sum(b.size for b in m.get_matching_blocks())
    return matched / max(len(ref), len(ours))

runs = {}
for line in open(os.path.join(work, 'runs')):
    name, rc, ms = line.split()
    runs[name] = (int(rc), int(ms))
rows = []
for name in sorted(runs):
    rc, ms = runs[name]
    ours = words(os.path.join(work, name + ".ours.txt"))
    u = words(os.path.join(work, name + '.unrtf'), unrtf=True)
    p = words(os.path.join(work, name + '.pandoc'))
    au, ap = agreement(ours, u), agreement(ours, p)
    best, tool = (au, 'unrtf') if au >= ap else (ap, 'pandoc')
    rows.append((name, rc, ms, len(ours), len(u), len(p), au, ap, best, tool))
agree = sum(1 for r in rows if r[1] == 0 and r[8] >= 0.98)
with open(report, 'w') as out:
    out.write('file\texit\tms\tour_words\tunrtf_words\tpandoc_words\tunrtf_agree\tpandoc_agree\tbest\tbest_tool\n')
    for r in rows:
        out.write('%s\t%d\t%d\t%d\t%d\t%d\t%.4f\t%.4f\t%.4f\t%s\n' % r)
print('files: %d, agreeing on >= 98%% of words: %d (%.1f%%)' % (len(rows), agree, 100.0 * agree / max(len(rows), 1)))
print('crashed or failed: %d, slowest: %d ms' % (sum(1 for r in rows if r[1] != 0), max((r[2] for r in rows), default=0)))
for r in rows:
    if r[1] != 0 or r[8] < 0.98:
        print('  below: %s exit=%d best=%.3f (%s) ours=%d unrtf=%d pandoc=%d' % (r[0], r[1], r[8], r[9], r[3], r[4], r[5]))
PY
