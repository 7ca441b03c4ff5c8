#!/usr/bin/env python3
"""Checks that every source folder includes only its own headers and the public headers of the
libraries its layer declares (CMakeLists.txt, the vsf_layer lines, lowest layer first), that a
layer declares only layers below it, and that host/ reaches src/ only through the boundary.
The rule "settings stay const" refuses a const_cast under src/ to the step's settings or one of
their parts (the records of statements/settings.h) and one applied to settings or options: once
the BY groups start they are read only, and the state of a run is its driver's. The rule
"displays read their record" refuses the selection options in the display tables, the graphs
and model averaging: they read what the set-up settled for them in their own record.
The rule "the engine reads its records" keeps the data pass, the selection engine and the paths
off the statements' settings: they read the records the set-up fills (DataPassOptions,
SelectionRules, PathOptions, CvOptions, EngineOptions). Only selection/group.h, whose StepView
hands the settings to the layers above, and selection/display_options.h, whose record holds
their step tables, include them, and only group.h names them.

usage: tools/check-layers.py [ROOT]     exit status 1 and one line per fault when any is found
       tools/check-layers.py --self-test  checks the tree, then that a copy of it with wrong
                                          includes is refused
"""
import os
import re
import shutil
import sys
import tempfile

HERE = os.path.abspath(os.path.join(os.path.dirname(__file__), '..'))
ROOT = HERE
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
CONST_CAST = re.compile(r'const_cast\s*<([^>]*)>\s*\(\s*&?\s*([\w>.-]*)')
SETTINGS_HEADER = 'src/statements/settings.h'
CAST_RULE = 'settings stay const'
OPTIONS_RULE = 'displays read their record'
RECORD_RULE = 'the engine reads its records'
ENGINE_FOLDERS = ('src/datapass/', 'src/selection/', 'src/penalized/')
SETTINGS_INCLUDERS = {'src/selection/group.h', 'src/selection/display_options.h'}
SETTINGS_NAMERS = {'src/selection/group.h'}
SETTINGS_NAMES = re.compile(r'\b(SelectionOptions|StepSettings)\b|\boptions->')
OPTIONS_FOLDERS = ('src/displays/', 'src/graphs/', 'src/averaging/')
OPTIONS_READ = re.compile(r'\bSelectionOptions\b|\bsettings(?:\.|->)options\b|\boptions(?:\.|->)\w')
LAYER = re.compile(r'^\s*vsf_layer\(\s*(\w+)\s+([\w/]+)((?:\s+[\w:$<>{}]+)*)\s*\)', re.M)


def read_layers():
    text = open(os.path.join(ROOT, 'CMakeLists.txt')).read()
    layers, faults = [], []
    seen = {}
    for m in LAYER.finditer(text):
        lib, folder = m.group(1), m.group(2)
        deps = [d for d in m.group(3).split() if d.startswith('vsf_')]
        for d in deps:
            if d not in seen:
                faults.append('CMakeLists.txt: %s uses %s, which is not a layer below it' % (lib, d))
        seen[lib] = len(layers)
        layers.append((lib, folder, deps))
    return layers, faults


def closure(layers):
    uses = {lib: set(deps) for lib, _, deps in layers}
    allowed = {}
    for lib, _, _ in layers:  # lowest first, so every dependency is complete already
        a = set()
        for d in uses[lib]:
            a |= {d} | allowed.get(d, set())
        allowed[lib] = a
    return allowed


def owner(path, layers):
    """The layer whose folder holds the path (the longest folder that is a prefix)."""
    best = None
    for lib, folder, _ in layers:
        if path == folder or path.startswith(folder + '/'):
            if best is None or len(folder) > len(best[1]):
                best = (lib, folder)
    return best


def resolve(name):
    for base in ('src', ''):
        p = os.path.normpath(os.path.join(base, name))
        if os.path.exists(os.path.join(ROOT, p)):
            return p
    return None


def sources(top):
    for d, _, files in os.walk(os.path.join(ROOT, top)):
        for f in sorted(files):
            if f.endswith(('.cpp', '.h')):
                yield os.path.relpath(os.path.join(d, f), ROOT)


def settings_types():
    """The records of the settings header: the settings and their parts."""
    text = open(os.path.join(ROOT, SETTINGS_HEADER)).read()
    return set(re.findall(r'^struct\s+(\w+)\s*\{', text, re.M))


def settings_casts(path, text, types):
    """Faults of the rule "settings stay const" in one file of src/."""
    faults = []
    for m in CONST_CAST.finditer(text):
        target = re.sub(r'\bconst\b|[*&\s]', '', m.group(1)).split('::')[-1]
        operand = m.group(2)
        if target in types or re.search(r'(^|[>.])(settings|options)\b', operand):
            line = text.count('\n', 0, m.start()) + 1
            faults.append('%s:%d: const_cast<%s> breaks the rule "%s": the settings are read only '
                          'once the BY groups start' % (path, line, m.group(1).strip(), CAST_RULE))
    return faults


def options_reads(path, text):
    """Faults of the rule "displays read their record" in one file of src/."""
    if not path.startswith(OPTIONS_FOLDERS):
        return []
    faults = {}
    for m in OPTIONS_READ.finditer(text):
        line = text.count('\n', 0, m.start()) + 1
        faults.setdefault(line, '%s:%d: "%s" breaks the rule "%s": the displays, graphs and model '
                          'averaging read the DisplayOptions of their StepView'
                          % (path, line, m.group(0), OPTIONS_RULE))
    return list(faults.values())


def engine_reads(path, text):
    """Faults of the rule "the engine reads its records" in one file of src/."""
    if not path.startswith(ENGINE_FOLDERS):
        return []
    faults = []
    if path not in SETTINGS_INCLUDERS:
        for m in INCLUDE.finditer(text):
            if m.group(1).startswith('statements/'):
                line = text.count('\n', 0, m.start()) + 1
                faults.append('%s:%d: includes "%s", which breaks the rule "%s": the set-up '
                              'fills a record for it' % (path, line, m.group(1), RECORD_RULE))
    if path not in SETTINGS_NAMERS:
        for m in SETTINGS_NAMES.finditer(text):
            line = text.count('\n', 0, m.start()) + 1
            faults.append('%s:%d: reads the settings (%s), which breaks the rule "%s"'
                          % (path, line, m.group(0), RECORD_RULE))
    return faults


def check():
    layers, faults = read_layers()
    if not layers:
        print('check-layers: no vsf_layer lines in CMakeLists.txt')
        return 1
    allowed = closure(layers)
    boundary = layers[0][1]
    types = settings_types()
    for path in list(sources('src')) + list(sources('host')):
        mine = owner(path, layers)
        text = open(os.path.join(ROOT, path)).read()
        if path.startswith('src/'):
            faults += settings_casts(path, text, types) + options_reads(path, text)
            faults += engine_reads(path, text)
        for m in INCLUDE.finditer(text):
            line = text.count('\n', 0, m.start()) + 1
            target = resolve(m.group(1))
            if target is None:
                continue  # a system or generated header
            where = '%s:%d: includes "%s"' % (path, line, m.group(1))
            if path.startswith('host/'):
                if target.startswith('src/') and owner(target, layers)[1] != boundary:
                    faults.append('%s: host/ reaches src/ only through %s' % (where, boundary))
                continue
            if not target.startswith('src/'):
                faults.append('%s: src/ never reaches %s' % (where, target.split('/')[0] + '/'))
                continue
            theirs = owner(target, layers)
            if mine is None or theirs is None:
                faults.append('%s: a folder that is not a declared layer' % where)
                continue
            if theirs[0] == mine[0]:
                continue
            if theirs[0] not in allowed[mine[0]]:
                faults.append('%s: %s does not use %s' % (where, mine[1], theirs[1]))
            elif target.endswith('_internal.h'):
                faults.append('%s: the inside of %s is not for other folders' % (where, theirs[1]))
    return faults


def report(faults):
    for f in faults:
        print(f)
    if faults:
        print('check-layers: %d faults' % len(faults))
    return 1 if faults else 0


def self_test():
    """The tree passes; a copy in which a low folder includes a high one, host/ includes the
    procedure and a folder includes another's inside is refused with exactly those faults."""
    global ROOT
    if report(check()):
        return 1
    with tempfile.TemporaryDirectory() as tmp:
        for part in ('CMakeLists.txt', 'src', 'host'):
            src = os.path.join(HERE, part)
            (shutil.copytree if os.path.isdir(src) else shutil.copy)(src, os.path.join(tmp, part))
        wrong = {'src/base/strings.cpp': 'frame/state.h',
                 'host/session.cpp': 'base/strings.h',
                 'src/frame/driver.cpp': 'selection/selection_internal.h'}
        for path, header in wrong.items():
            with open(os.path.join(tmp, path), 'a') as f:
                f.write('\n#include "%s"\n' % header)
        casts = {'src/penalized/fitdriver.cpp':
                 'auto* o = const_cast<vsf::SelectionOptions*>(s->options);',
                 'src/datapass/rowslots.cpp':
                 'auto* r = const_cast<VarDescriptor*>(&settings.response);',
                 'src/frame/refit.cpp': 'auto& t = const_cast<StepSettings&>(s->settings);'}
        reads = {'src/displays/anova.cpp': 'const SelectionOptions& o = s->settings.options;',
                 'src/graphs/steps.cpp': 'bool none(const StepView* s) { return s->settings.options.method; }',
                 'src/averaging/outrows.cpp': 'int f(const SelectionState* r) { return r->options->noInt; }'}
        engine = {'src/selection/memplan.cpp': '#include "statements/settings.h"',
                  'src/penalized/screening.cpp': 'const SelectionOptions* o = nullptr;',
                  'src/datapass/pass.cpp': 'int x = s->options->noInt;'}
        for path, line in list(casts.items()) + list(reads.items()) + list(engine.items()):
            with open(os.path.join(tmp, path), 'a') as f:
                f.write('\n%s\n' % line)
        ROOT = tmp
        faults = check()
    found = sorted(set(f.split(':')[0] for f in faults))
    expected = sorted(list(wrong) + list(casts) + list(reads) + list(engine))

    def names(rule, paths):  # each of the files has a fault that names the rule
        return all(any(f.startswith(p + ':') and rule in f for f in faults) for p in paths)

    named = names(CAST_RULE, casts) and names(OPTIONS_RULE, reads) and names(RECORD_RULE, engine)
    if found != expected or not named:
        print('check-layers self-test: expected faults in %s, got:' % expected)
        report(faults)
        return 1
    print('check-layers self-test: the tree passes, %d wrong includes, %d const_casts on the '
          'settings, %d reads of the selection options by the displays and %d reads of the '
          'settings by the engine are refused' % (len(wrong), len(casts), len(reads), len(engine)))
    return 0


if __name__ == '__main__':
    if len(sys.argv) > 1 and sys.argv[1] == '--self-test':
        sys.exit(self_test())
    if len(sys.argv) > 1:
        ROOT = os.path.abspath(sys.argv[1])
    sys.exit(report(check()))
