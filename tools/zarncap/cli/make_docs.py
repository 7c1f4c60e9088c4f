#!/usr/bin/env python3
"""zarncap's manual page and bash completion, written from its own --help.

    make_docs.py <zarncap executable> <zarncap.1> <bash completion file>

Everything the two files say about options comes from the help texts, so they
cannot drift from the command line itself.
"""
import datetime
import re
import subprocess
import sys


def help_text(exe, *command):
    return subprocess.run([exe, *command, "--help"], check=True, capture_output=True, text=True).stdout


def parse(text):
    """The summary line, the options (names, value, choices, description) and
    the subcommands (name, description) of one --help text."""
    lines = text.splitlines()
    summary = lines[0] if lines else ""
    options, subcommands, section, current = [], [], None, None
    for line in lines[1:]:
        if line.startswith("Options:"):
            section = "options"
            continue
        if line.startswith("Subcommands:"):
            section = "subcommands"
            continue
        if not line.strip():
            current = None
            continue
        if section and line.startswith("  ") and not line.startswith("   "):
            match = re.match(r"  (\S.*?)(?:\s{2,}(.*))?$", line)
            head, description = match.group(1), match.group(2) or ""
            if section == "options":
                names, _, value = head.partition(" ")
                choices = re.search(r"\{([^}]*)\}", value)
                current = {"names": names.split(","), "value": value, "choices": choices.group(1).split(",") if choices else [],
                           "description": description.strip()}
                options.append(current)
            else:
                current = {"name": head, "description": description.strip()}
                subcommands.append(current)
        elif current is not None and line.startswith("   "):
            current["description"] = (current["description"] + " " + line.strip()).strip()
    return summary, options, subcommands


def roff(text):
    return text.replace("\\", "\\e").replace("-", "\\-").replace("'", "\\(aq")


def value_parts(value):
    """CLI11's value text ("N:N:INT in [1 - 100]=30", "F:{a,b}=a") as the
    placeholder a reader expects ("N"), and what it adds in words."""
    if not value:
        return "", ""
    placeholder = value.split(":")[0].split("=")[0].split(" ")[0]
    notes = []
    bounds = re.search(r"in \[(\S+) - (\S+)\]", value)
    if bounds:
        notes.append(f"{bounds.group(1)} to {bounds.group(2)}")
    choices = re.search(r"\{([^}]*)\}", value)
    if choices:
        notes.append("one of " + ", ".join(choices.group(1).split(",")))
    default = re.search(r"=(\S+)$", value)
    if default:
        notes.append("default " + default.group(1))
    if "REQUIRED" in value:
        notes.append("required")
    return placeholder, "; ".join(notes)


def option_items(options):
    out = []
    for option in options:
        label = ", ".join(r"\fB" + roff(n) + r"\fR" for n in option["names"])
        placeholder, notes = value_parts(option["value"])
        if placeholder:
            label += " " + r"\fI" + roff(placeholder) + r"\fR"
        description = option["description"] + (f" ({notes})" if notes else "")
        out += [".TP", label, roff(description)]
    return out


EXAMPLES = [
    ("zarncap capture -o still.png", "a 320x240 picture, after 30 frames of white balance"),
    ("zarncap capture --count 5 --interval 1 -o shot-%04n.jpg", "a time-lapse with the driver opened once"),
    ("zarncap stream -o clip.mp4 --seconds 5 --crf 28", "a five-second H.264 clip"),
    ("zarncap controls --set brightness=70 --set compression=automatic", "picture controls through the driver's dialog"),
    ("zarncap --camera sim:scene=bars,port=3 info --json", "the camera details, for a script"),
]

JSON_FIELDS = [
    ("capture --json", "width, height, format, shots (each with file, frame (the frame kept) and captured_ms), "
                       "white_balance_gains (red, green, blue) and white_balance_far_from_neutral"),
    ("stream --json", "file, container, codec, width, height, format, frames, dropped, seconds, fps and "
                      "average_interval_ms (the rate the movie was written with), cpu_ms_per_frame, interrupted, "
                      "stopped_because (null or the reason), white_balance_gains and white_balance_far_from_neutral"),
    ("formats --json", "a list of formats, each with sizes: blocks of widths and heights, each a list of "
                       "[first, last, step] runs"),
    ("controls --json", "controls: name, value, range ([first, last, step]) or choices, enabled; and "
                        "white_balance_gains: red, green, blue"),
    ("info --json", "found, port, mode, mode_forced, camera (null when no camera was found), version, build_date, "
                    "language, title"),
]


def manual(exe, version):
    summary, options, subcommands = parse(help_text(exe))
    date = datetime.date.today().strftime("%Y-%m-%d")
    out = [f'.TH ZARNCAP 1 "{date}" "{roff(version)}" "User Commands"',
           ".SH NAME", r"zarncap \- " + roff(summary.split(": ", 1)[-1]),
           ".SH SYNOPSIS", r"\fBzarncap\fR [\fIOPTIONS\fR] \fICOMMAND\fR [\fICOMMAND OPTIONS\fR]",
           ".SH OPTIONS"] + option_items(options)
    out.append(".SH COMMANDS")
    for command in subcommands:
        _, command_options, _ = parse(help_text(exe, command["name"]))
        out += [".SS " + roff(command["name"]), roff(command["description"])] + option_items(command_options)
    out.append(".SH JSON")
    for command, fields in JSON_FIELDS:
        out += [".TP", r"\fB" + roff(command) + r"\fR", roff(fields)]
    out.append(".SH EXAMPLES")
    for command, what in EXAMPLES:
        out += [".TP", r"\fB" + roff(command) + r"\fR", roff(what)]
    out += [".SH FILES",
            ".TP", r"\fI$XDG_CONFIG_HOME/zarncap/zarncap.ini\fR",
            roff("the driver's settings (sections ZARNCAP, NUBO, COLSPACE); ~/.config/zarncap when XDG_CONFIG_HOME "
                 "is not set, $ZARNCAP_CONFIG_DIR when set, or the file --ini names"),
            ".SH ENVIRONMENT",
            ".TP", r"\fBZARNCAP_CAMERA\fR", roff("the camera the driver's port device reaches: sim, sim:<key=value,...>, parport, parport:<port> (the real camera) or none"),
            ".TP", r"\fBZARNCAP_DRIVER\fR", roff("the driver library to load (else the one installed beside zarncap)"),
            ".TP", r"\fBZARNCAP_CONFIG_DIR\fR", roff("the folder of the driver's settings files"),
            ".SH EXIT STATUS",
            roff("0 done; 1 the run failed (the message says why; frames already recorded are kept); "
                 "2 a usage error; 130 ended by SIGINT (Ctrl-C), 143 by SIGTERM (what was written is kept)."),
            ".SH SEE ALSO", r"\fBffmpeg\fR(1)"]
    return "\n".join(out) + "\n"


VALUE_WORDS = {
    "--set": "brightness= contrast= colour= quality= compression=off compression=automatic compression=manual "
             "lighting=normal lighting=low",
    "--get": "brightness contrast colour quality compression lighting",
}


def camera_words(global_options):
    """The cameras --camera's help names as plain words ("sim, sim:<key=value,...>,
    parport, parport:<port> (the real camera) or none" gives sim parport none)."""
    for option in global_options:
        if "--camera" in option["names"]:
            listed = re.sub(r"\s*\([^)]*\)", "", option["description"].split(": ", 1)[-1]).replace(" or ", ", ")
            words = [piece.split(" ")[0] for piece in listed.split(", ")]
            return [word for word in words if word and "<" not in word]
    return []


def completion(exe):
    _, global_options, subcommands = parse(help_text(exe))
    global_names = {n for o in global_options for n in o["names"]}
    # Each option once: a command's help repeats the global options it lets follow it.
    names = lambda options, skip=frozenset(): " ".join(
        dict.fromkeys(n for o in options for n in o["names"] if n.startswith("-") and n not in skip))
    cases, choices, files, free = [], {}, set(), set()

    def note_values(options):
        # What follows each option: one of its choices, a file name, or a value
        # of the user's own (nothing offered: neither commands nor options fit there).
        for option in options:
            for name in option["names"]:
                if option["choices"]:
                    choices[name] = " ".join(option["choices"])
                elif option["value"].split(":")[0].split(" ")[0] in ("FILE", "PATH"):
                    files.add(name)
                elif option["value"] and name.startswith("-"):
                    free.add(name)
            # --size offers the sizes to use its help lists.
            if "--size" in option["names"] and "Sizes to use:" in option["description"]:
                listed = option["description"].split("Sizes to use:", 1)[1].split("(")[0]
                choices["--size"] = " ".join(re.findall(r"\d+x\d+", listed))

    note_values(global_options)
    for command in subcommands:
        _, options, _ = parse(help_text(exe, command["name"]))
        cases.append(f'    {command["name"]}) options="$options {names(options, global_names)}" ;;')
        note_values(options)
    # Values that are no choice list in the help but have words worth offering.
    choices.update(VALUE_WORDS)
    choices["--camera"] = " ".join(camera_words(global_options))
    free -= set(choices) | files
    choice_cases = "\n".join(f'    {name}) COMPREPLY=($(compgen -W "{words}" -- "$cur")); return ;;'
                             for name, words in sorted(choices.items()))
    file_names = "|".join(sorted(files))
    return f"""# bash completion for zarncap (written from its --help)
_zarncap() {{
  local cur=${{COMP_WORDS[COMP_CWORD]}} prev=${{COMP_WORDS[COMP_CWORD-1]}} command="" word
  for word in "${{COMP_WORDS[@]:1:COMP_CWORD-1}}"; do
    case "$word" in {"|".join(c["name"] for c in subcommands)}) command=$word ;; esac
  done
  case "$prev" in
{choice_cases}
    {file_names}) COMPREPLY=($(compgen -f -- "$cur")); return ;;
    {"|".join(sorted(free))}) COMPREPLY=(); return ;;
  esac
  local options="{names(global_options)}"
  case "$command" in
{chr(10).join(cases)}
    "") if [[ $cur != -* ]]; then COMPREPLY=($(compgen -W "{" ".join(c["name"] for c in subcommands)}" -- "$cur")); return; fi ;;
  esac
  COMPREPLY=($(compgen -W "$options" -- "$cur"))
}}
complete -F _zarncap zarncap
"""


def main():
    exe, man_path, completion_path = sys.argv[1:4]
    version = subprocess.run([exe, "--version"], check=True, capture_output=True, text=True).stdout.strip()
    with open(man_path, "w") as out:
        out.write(manual(exe, version))
    with open(completion_path, "w") as out:
        out.write(completion(exe))


if __name__ == "__main__":
    main()
