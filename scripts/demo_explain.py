#!/usr/bin/env python3
"""Says in plain words what Zentrel changed in one settings file: scripts/demo prints it before
the file's diff. Usage: demo_explain.py VARIANT BEFORE AFTER
                        demo_explain.py --same FILE OTHER   (status 0 when both hold the same
                        sections, keys and values, whatever their layout)

It reads both files the way the scanning application does (sections, then key=value lines; names
without regard to ASCII case) and names the rule behind each change, so that a reader of the diff
sees why keys and comments went, not only that they did.
"""
import sys
import textwrap

# The sections each driver variant rewrites whole, with the number of keys it writes.
REPLACED = {
    "QX_NWTWAIN": [("Other", 4), ("Features_Available", 7), ("Imaging_Library", 1),
                   ("MultiThread_Features", 19)],
    "QX_USBTWAIN": [("Imaging_Library", 1), ("MultiThread_Features", 19)],
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
            line = raw.strip(" \t\v")
            if line.startswith("["):
                current = line[1:].split("]", 1)[0].strip(" \t\v").lower()
                if current not in sections:
                    sections[current] = ({}, [])
                    order.append(current)
                continue
            keys, others = sections[current]
            if "=" in line and not line.startswith(";"):
                name, value = line.split("=", 1)
                keys.setdefault(name.strip(" \t\v").lower(),
                                (name.strip(" \t\v"), value.strip(" \t\v")))
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


def main():
    if sys.argv[1] == "--same":
        sys.exit(same(sys.argv[2], sys.argv[3]))
    variant, before_path, after_path = sys.argv[1:4]
    before, _ = read_ini(before_path)
    after, _ = read_ini(after_path)
    said = []

    replaced = []
    for name, count in REPLACED[variant]:
        old_keys, old_others = before.get(name.lower(), ({}, []))
        new_keys, _ = after.get(name.lower(), ({}, []))
        gone = [old_keys[k][0] for k in old_keys if k not in new_keys]
        text = f"[{name}] ({count} key{'' if count == 1 else 's'})"
        if gone:
            text += f"; gone with it: {', '.join(gone)}"
        gone_others = [o for o in old_others if not o.startswith(";")]
        if gone_others:
            text += f"; and its lines {', '.join(repr(o) for o in gone_others)}"
        replaced.append(text)
    said.append("Sections the driver rewrites whole (deleted, then written again at the end of "
                "the file with exactly the keys the new driver expects; keys it does not know "
                "go, and comment lines inside stay where they were):")
    said.extend(f"    {line}" for line in replaced)

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


if __name__ == "__main__":
    main()
