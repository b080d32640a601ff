#!/usr/bin/env bash
# Compares the text our RTF reader extracts from every file of the RTF corpus with what
# `unrtf --text` and `pandoc -f rtf -t plain` extract, as normalised word sequences (CJK and
# Thai letters count one word each, since those scripts do not separate words), and writes one
# line per file to a report.  A file agrees when the better of the two tools' word sequences
# matches ours on at least 98% of the words.  Where both tools are wrong about a file (they
# decode its code page wrongly, print style names or footnotes, lose text), the file was checked
# by hand against what the document visibly contains; scripts/rtf-corpus-verdicts.tsv lists
# those files with the reason, and the report marks them "verified".
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
export QT_QPA_PLATFORM=offscreen
python3 - "$hvrtf" "$corpus" "$report" "$root/scripts/rtf-corpus-verdicts.tsv" <<'PY'
import difflib, os, re, resource, subprocess, sys, tempfile, time, unicodedata
hvrtf, corpus, report, verdicts_path = sys.argv[1:5]

def cpu_children():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime

def run(args, timeout):
    try:
        p = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=timeout)
        return p.returncode, p.stdout
    except subprocess.TimeoutExpired:
        return -9, b''

CJK = '\u0e00-\u0e7f\u3040-\u30ff\u3400-\u4dbf\u4e00-\u9fff\uac00-\ud7af\uff66-\uff9f'
TOKEN = re.compile('[' + CJK + ']|[^\\W' + CJK + ']+')

def words(text, unrtf=False):
    if unrtf:
        # unrtf prints its own comments and the document's properties (title, author, ...)
        # above a rule; only what follows the rule is the document's text.
        rule = text.find('-----------------\n')
        if rule >= 0:
            text = text[rule + 18:]
        text = '\n'.join(l for l in text.split('\n') if not l.startswith('###'))
    # Picture placeholders the tools print instead of pictures are not text of the document.
    text = re.sub(r'\[image\]|pict\d+\.(?:jpg|png|wmf|emf|bmp|pict)', ' ', text)
    text = unicodedata.normalize('NFKC', text).lower().replace('\u00ad', '')
    return TOKEN.findall(text)

def agreement(ours, ref):
    if not ref and not ours:
        return 1.0
    if not ref or not ours:
        return 0.0
    m = difflib.SequenceMatcher(None, ref, ours, autojunk=len(ref) * len(ours) > 4e8)
    return sum(b.size for b in m.get_matching_blocks()) / max(len(ref), len(ours))

verdicts = {}
if os.path.exists(verdicts_path):
    for line in open(verdicts_path, encoding='utf-8'):
        if line.strip() and not line.startswith('#'):
            name, reason = line.rstrip('\n').split('\t', 1)
            verdicts[name] = reason

rows = []
with tempfile.TemporaryDirectory() as work:
    for name in sorted(f for f in os.listdir(corpus) if f.endswith('.rtf')):
        path = os.path.join(corpus, name)
        out = os.path.join(work, 'ours.txt')
        if os.path.exists(out):
            os.remove(out)
        before = cpu_children()
        rc, _ = run([hvrtf, path, out], 30)
        ms = int((cpu_children() - before) * 1000)
        ours = words(open(out, encoding='utf-8', errors='replace').read()) if os.path.exists(out) else []
        _, u = run(['unrtf', '--text', path], 60)
        _, p = run(['pandoc', '-f', 'rtf', '-t', 'plain', '--wrap=none', path], 60)
        u = words(u.decode('utf-8', 'replace'), unrtf=True)
        p = words(p.decode('utf-8', 'replace'))
        au, ap = agreement(ours, u), agreement(ours, p)
        best, tool = (au, 'unrtf') if au >= ap else (ap, 'pandoc')
        status = 'agrees' if rc == 0 and best >= 0.98 else ('verified' if rc == 0 and name in verdicts else 'differs')
        rows.append((name, rc, ms, len(ours), len(u), len(p), au, ap, best, tool, status, verdicts.get(name, '')))

with open(report, 'w', encoding='utf-8') as out:
    out.write('file\texit\tcpu_ms\tour_words\tunrtf_words\tpandoc_words\tunrtf_agree\tpandoc_agree\tbest\tbest_tool\tstatus\treason\n')
    for r in rows:
        out.write('%s\t%d\t%d\t%d\t%d\t%d\t%.4f\t%.4f\t%.4f\t%s\t%s\t%s\n' % r)
n = len(rows)
agree = sum(1 for r in rows if r[10] == 'agrees')
verified = sum(1 for r in rows if r[10] == 'verified')
print('files: %d; agreeing with unrtf or pandoc on >= 98%% of words: %d (%.1f%%); verified by hand where both tools are wrong: %d; together %.1f%%'
      % (n, agree, 100.0 * agree / max(n, 1), verified, 100.0 * (agree + verified) / max(n, 1)))
print('failed runs: %d; most processor time for one file (hvrtf, start-up included): %d ms'
      % (sum(1 for r in rows if r[1] != 0), max((r[2] for r in rows), default=0)))
for r in rows:
    if r[10] != 'agrees':
        print('  %s %s: best %.3f (%s), words ours/unrtf/pandoc %d/%d/%d%s' % (r[10], r[0], r[8], r[9], r[3], r[4], r[5], ('; ' + r[11]) if r[11] else ''))
PY
