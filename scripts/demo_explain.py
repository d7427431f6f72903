#!/usr/bin/env python3
"""Says in plain words what Zentrel changed in one settings file: scripts/demo prints it before
the file's diff. Usage: demo_explain.py VARIANT BEFORE AFTER
                        demo_explain.py --summary VARIANT BEFORE AFTER   (just the counts)
                        demo_explain.py --same FILE OTHER   (status 0 when both hold the same
                        sections, keys and values, whatever their layout)

It reads both files the way the scanning application does (sections, then key=value lines; names
without regard to ASCII case) and names the rule behind each change, so that a reader of the diff
sees why keys and comments went, not only that they did.
"""
import os
import sys
import textwrap

# The sections each driver variant rewrites whole; their keys are counted in the result.
REPLACED = {
    "QX_NWTWAIN": ["Other", "Features_Available", "Imaging_Library", "MultiThread_Features"],
    "QX_USBTWAIN": ["Imaging_Library", "MultiThread_Features"],
}

# The 37 interface languages the scanning application supports, by Windows language identifier.
LANGUAGES = {
    1052: "Albanian", 1026: "Bulgarian", 1027: "Catalan", 1028: "Chinese, Traditional (Taiwan)",
    2052: "Chinese, Simplified (PRC)", 1050: "Croatian", 1029: "Czech", 1030: "Danish",
    1043: "Dutch (Netherlands)", 2057: "English (United Kingdom)", 1033: "English (United States)",
    1061: "Estonian", 1035: "Finnish", 1036: "French (France)", 1031: "German (Germany)",
    1032: "Greek", 1038: "Hungarian", 1057: "Indonesian", 1040: "Italian (Italy)",
    1041: "Japanese", 1042: "Korean", 1063: "Lithuanian", 1044: "Norwegian (Bokmal)",
    1045: "Polish", 1046: "Portuguese (Brazil)", 2070: "Portuguese (Portugal)",
    1048: "Romanian", 1049: "Russian", 1051: "Slovak", 1060: "Slovenian",
    3082: "Spanish (Spain, modern sort)", 1053: "Swedish (Sweden)", 1055: "Turkish",
    1058: "Ukrainian", 1025: "Arabic (Saudi Arabia)", 1037: "Hebrew", 1066: "Vietnamese",
}


def read_ini(path):
    """Sections in file order: name -> (keys as a dict, other lines such as comments)."""
    sections = {"": ({}, [])}
    order = [""]
    current = ""
    with open(path, encoding="utf-8", errors="replace", newline="") as file:
        for raw in file.read().splitlines():
            line = raw.strip(" \t")
            if line.startswith("[") and "]" in line:
                current = line[1:line.rindex("]")].strip(" \t").lower()
                if current not in sections:
                    sections[current] = ({}, [])
                    order.append(current)
                continue
            keys, others = sections[current]
            if "=" in line and not line.startswith(";"):
                name, value = line.split("=", 1)
                keys.setdefault(name.strip(" \t").lower(), (name.strip(" \t"), value.strip(" \t")))
            elif line:
                others.append(line)
    return sections, order


def as_int(text):
    try:
        return int(text)
    except (TypeError, ValueError):
        return None


def settings(path):
    sections, _ = read_ini(path)
    return {name: keys for name, (keys, _) in sections.items() if keys or name}


def same(path, other_path):
    ours, theirs = settings(path), settings(other_path)
    if ours == theirs:
        return 0
    for name in sorted(set(ours) | set(theirs)):
        if ours.get(name) != theirs.get(name):
            print(f"    [{name}]: {ours.get(name)} here, {theirs.get(name)} there")
    return 1


def analyse(variant, before_path, after_path):
    """What the rules did: the sections replaced whole, the ACD values lowered, the zonal OCR
    languages supplied."""
    before, _ = read_ini(before_path)
    after, _ = read_ini(after_path)
    replaced = []
    for name in REPLACED[variant]:
        old_keys, old_others = before.get(name.lower(), ({}, []))
        new_keys, _ = after.get(name.lower(), ({}, []))
        gone = [old_keys[k][0] for k in old_keys if k not in new_keys]
        replaced.append((name, len(new_keys), gone, old_others))
    lowered, supplied = [], []
    for name in after:
        if not (name.startswith("scan_profile_") or name.startswith("twain_profile_")):
            continue
        old_keys, _ = before.get(name, ({}, []))
        new_keys, _ = after[name]
        old_acd = as_int(old_keys.get("acd_sensitivity", (None, None))[1])
        new_acd = as_int(new_keys.get("acd_sensitivity", (None, None))[1])
        if old_acd is not None and old_acd > 10 and new_acd == 7:
            lowered.append(f"{name.upper()} ({old_acd})")
        if "zonalocrlanguage" in new_keys and as_int(
                old_keys.get("zonalocrlanguage", (None, None))[1]) is None:
            language = as_int(new_keys["zonalocrlanguage"][1])
            supplied.append(f"{name.upper()} = {language} "
                            f"({LANGUAGES.get(language, 'not a supported language')})")
    return replaced, lowered, supplied


def plural(count, word):
    return f"{count} {word}{'' if count == 1 else 's'}"


def summary(variant, before_path, after_path):
    """The counts, for the demo's closing summary: at most 92 columns wide, so that they fit
    100 columns indented."""
    replaced, lowered, supplied = analyse(variant, before_path, after_path)
    keys = sum(count for _, count, _, _ in replaced)
    gone = sum(len(gone) for _, _, gone, _ in replaced)
    text = f"{plural(len(replaced), 'section')} rewritten whole ({plural(keys, 'key')}"
    text += f", {gone} old gone)" if gone else ")"
    if variant == "QX_NWTWAIN":
        text += (f"; ACD_Sensitivity lowered in {plural(len(lowered), 'profile')}"
                 f"; ZonalOCRLanguage supplied in {len(supplied)}")
    print(textwrap.fill(text, width=92))


def explain(variant, before_path, after_path):
    replaced, lowered, supplied = analyse(variant, before_path, after_path)
    said = ["Sections the driver rewrites whole (deleted, then written again at the end of "
            "the file with exactly the keys the new driver expects; keys it does not know "
            "go, and a comment just above a section header belongs to the section before "
            "it):"]
    for name, count, gone, old_others in replaced:
        text = f"[{name}] ({plural(count, 'key')})"
        if gone:
            text += f"; gone with it: {', '.join(gone)}"
        if old_others:
            text += f"; and its lines {', '.join(repr(o) for o in old_others)}"
        said.append(f"    {text}")
    if variant == "QX_NWTWAIN":
        said.append("ACD_Sensitivity above 10 pulled back to 7 (the profiles are visited from "
                    "number 0 up to the first one without an ACD_Sensitivity): "
                    + (", ".join(lowered) if lowered else "none"))
        said.append("ZonalOCRLanguage supplied where a scan profile had none that reads as a "
                    "number (the interface language, or US English when it is not one of the 37 "
                    "the application supports): " + (", ".join(supplied) if supplied else "none"))
    else:
        said.append("The USB driver leaves [Other], [Features_Available] and every profile as "
                    "they were.")
    for line in said:
        indent = "        " if line.startswith("    ") else "    "
        print(textwrap.fill(line, width=100, subsequent_indent=indent))


def bad_argument(text):
    print(f"scripts/demo_explain.py: {text} (see --help)", file=sys.stderr)
    sys.exit(2)


def main():
    arguments = sys.argv[1:]
    if arguments[:1] in (["-h"], ["--help"]):
        print(__doc__.strip())
        return
    mode = arguments.pop(0) if arguments[:1] in (["--same"], ["--summary"]) else None
    wanted = 2 if mode == "--same" else 3
    if len(arguments) != wanted:
        bad_argument(f"{wanted} arguments wanted, {len(arguments)} given")
    if mode != "--same" and arguments[0] not in REPLACED:
        bad_argument(f"unknown driver variant '{arguments[0]}'")
    for path in arguments[wanted - 2:]:
        if not os.path.isfile(path):
            bad_argument(f"no file '{path}'")
    if mode == "--same":
        sys.exit(same(*arguments))
    if mode == "--summary":
        summary(*arguments)
    else:
        explain(*arguments)


if __name__ == "__main__":
    main()
