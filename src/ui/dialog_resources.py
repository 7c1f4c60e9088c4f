#!/usr/bin/env python3
"""The driver's dialog resources, written once.

Every dialog of the driver (the source-settings and video-format dialogs in
their five languages, the camera-details dialog and the message trace) is
described here, and this script writes it out twice from the one table:

  --rc  FILE   the Windows resource script (code page 1252) that windres puts
               into the DLL, with the dialogs, the icon and the version block
  --cpp FILE   the same dialogs as a C++ table for the portable build's
               headless dialog model
  --ico FILE   the icon the camera-details dialog shows (the script names it
               zarncap.ico, beside itself)

Texts are Python strings; they are written as code page 1252 bytes.
"""
import argparse
import os
import re
import sys

# Control kinds: the resource-script statement and the portable model's kind.
DEFPUSH, PUSH, GROUP, LTEXT, CTEXT, HSCROLL, EDIT, RADIO, ICON, LISTBOX = (
    "DefPushButton", "PushButton", "GroupBox", "LeftText", "CentreText",
    "HorizontalScrollBar", "Edit", "AutoRadioButton", "Icon", "ListBox")

MODAL = "modal"      # DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU
TRACE = "trace"      # WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME


def contract_ids():
    """The dialog and control ids by name, from the driver's public contract
    (include/zarncap/dialogs.h): the one list of them."""
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "include", "zarncap", "dialogs.h")
    with open(path, encoding="utf-8") as header:
        return {name: int(value) for name, value in re.findall(r"\b(k\w+) = (\d+)", header.read())}


ID = contract_ids()


def control(kind, cid, text, rect, group=False):
    return {"kind": kind, "id": cid, "text": text, "rect": rect, "group": group}


# ---- 6.2: video source settings (101 English; 104 French, 106 German, 108 Spanish, 110 Italian)
SOURCE_TEXTS = {
    101: dict(caption="Video Capture Settings", cancel="&Cancel", settings="Settings", brightness="&Brightness",
              contrast="Con&trast", colour="Colo&r", compression="Capture Compression", quality="&Quality",
              lighting="Lighting", normal="&Normal", low="&Low Light"),
    104: dict(caption="Réglages de la saisie de vidéo", cancel="&Annuler", settings="Réglages",
              brightness="&Luminosité", contrast="Con&traste", colour="Couleu&r",
              compression="Compression de la saisie", quality="&Qualité", lighting="Lumière", normal="&Normale",
              low="&Faible"),
    106: dict(caption="Videofangeinstellungen", cancel="&Abbrechen", settings="Einstellungen",
              brightness="&Helligkeit", contrast="&Kontrast", colour="&Farbe", compression="Videokompression",
              quality="&Qualität", lighting="Beleuchtung", normal="&Normal", low="&Schwaches Licht"),
    108: dict(caption="Ajustes de captura de vídeo", cancel="&Cancelar", settings="Ajustes",
              brightness="&Luminosidad", contrast="Con&traste", colour="Colo&r", compression="Compresión de captura",
              quality="Cali&dad", lighting="Luz", normal="&Normal", low="&Baja"),
    110: dict(caption="Aggiustamenti per la Cattura Immagine", cancel="&Cancel", settings="Aggiustamenti",
              brightness="&Luminosita", contrast="Cont&rasto", colour="Color&e",
              compression="Compressione del Capture", quality="&Qualita", lighting="Illuminazione",
              normal="&Normale", low="Luce &bassa"),
}


def source_dialog(rid):
    t = SOURCE_TEXTS[rid]
    # Only the English dialog numbers its colour label (the system language relabels it).
    colour_id = ID["kColourLabel"] if rid == 101 else -1
    return {"id": rid, "caption": t["caption"], "size": (165, 217), "style": MODAL, "controls": [
        control(DEFPUSH, 1, "&OK", (100, 166, 50, 14)),
        control(PUSH, 2, t["cancel"], (100, 190, 50, 14)),
        control(GROUP, -1, t["settings"], (8, 8, 150, 64)),
        control(LTEXT, -1, t["brightness"], (16, 26, 35, 10)),
        control(HSCROLL, ID["kBrightnessScroll"], "", (55, 26, 56, 10)),
        control(EDIT, ID["kBrightnessEdit"], "", (120, 25, 19, 12)),
        control(LTEXT, -1, t["contrast"], (16, 41, 35, 10)),
        control(HSCROLL, ID["kContrastScroll"], "", (55, 41, 56, 10)),
        control(EDIT, ID["kContrastEdit"], "", (120, 40, 19, 12)),
        control(LTEXT, colour_id, t["colour"], (16, 56, 35, 10)),
        control(HSCROLL, ID["kColourScroll"], "", (55, 56, 56, 10)),
        control(EDIT, ID["kColourEdit"], "", (120, 55, 19, 12)),
        control(GROUP, -1, t["compression"], (7, 78, 150, 76)),
        control(RADIO, ID["kCompressionOff"], "O&ff", (12, 92, 71, 10), group=True),
        control(RADIO, ID["kCompressionAutomatic"], "&Automatic", (12, 106, 89, 10)),
        control(RADIO, ID["kCompressionManual"], "&Manual", (12, 122, 78, 10)),
        control(LTEXT, -1, t["quality"], (20, 138, 29, 10), group=True),
        control(HSCROLL, ID["kQualityScroll"], "", (54, 138, 56, 10)),
        control(EDIT, ID["kQualityEdit"], "", (119, 138, 19, 12)),
        control(GROUP, ID["kLightingGroup"], t["lighting"], (8, 159, 78, 50)),
        control(RADIO, ID["kLightingNormal"], t["normal"], (14, 174, 63, 10), group=True),
        control(RADIO, ID["kLightingLow"], t["low"], (14, 190, 54, 10)),
    ]}


# ---- 6.3: video format (102 English; 105 French, 107 German, 109 Spanish, 111 Italian)
FORMAT_TEXTS = {
    102: dict(caption="Video Format", cancel="&Cancel", video="&Video Size", still="&Still Image Size",
              format="Image &Format", size="&Image Size"),
    105: dict(caption="Format de la vidéo", cancel="&Annuler", video="Taille de la &vidéo",
              still="&Taille de l'image", format="&Format de l'image", size="Taille de l'i&mage"),
    107: dict(caption="Videoformat", cancel="&Abbrechen", video="&Videogröße", still="&Stillbildgröße",
              format="&Bildformat", size="Bil&dgröße", rgb24="24 Bit RGB", rgb16="16 Bit RGB",
              pal8="8 Bit Palette"),
    109: dict(caption="Formato de vídeo", cancel="&Cancelar", video="Formato de &vídeo", still="Tamaño &fija",
              format="Formato de la &imagen", size="Tamaño de la &imagen", pal8="Paleta de 8 bits"),
    111: dict(caption="Formato Video", cancel="&Cancel", video="Dimensione &Video", still="Immagine &Ferma",
              format="Formato &Immagine", size="&Dimensione Immagine"),
}


def format_dialog(rid):
    t = FORMAT_TEXTS[rid]
    return {"id": rid, "caption": t["caption"], "size": (174, 172), "style": MODAL, "controls": [
        control(DEFPUSH, 1, "&OK", (98, 129, 50, 14)),
        control(PUSH, 2, t["cancel"], (98, 151, 50, 14)),
        control(GROUP, -1, t["video"], (5, 9, 65, 63)),
        control(RADIO, ID["kSize176x144Button"], "176 x 144", (12, 24, 46, 10), group=True),
        control(RADIO, ID["kSize160x120Button"], "160 x 120", (12, 40, 44, 10)),
        control(RADIO, ID["kSize128x96Button"], "128 x 96", (12, 56, 46, 10)),
        control(GROUP, -1, t["still"], (5, 81, 65, 82)),
        control(RADIO, ID["kSize640x480Button"], "640 x 480", (12, 98, 44, 10)),
        control(RADIO, ID["kSize320x240Button"], "320 x 240", (12, 114, 44, 10)),
        control(RADIO, ID["kSize288x216Button"], "288 x 216", (12, 130, 48, 10)),
        control(RADIO, ID["kSize200x152Button"], "200 x 152", (12, 146, 48, 10)),
        control(GROUP, -1, t["format"], (80, 9, 85, 75)),
        control(RADIO, ID["kRgb24Button"], t.get("rgb24", "24 bit RGB"), (88, 22, 53, 9), group=True),
        control(RADIO, ID["kRgb16Button"], t.get("rgb16", "16 bit RGB"), (88, 36, 53, 9)),
        control(RADIO, ID["kPalette8Button"], t.get("pal8", "8 bit Palette"), (88, 50, 53, 12)),
        control(RADIO, ID["kI420Button"], "Intel Raw (I420)", (88, 66, 67, 12)),
        control(GROUP, -1, t["size"], (80, 90, 85, 32), group=True),
        control(EDIT, ID["kWidthEdit"], "", (96, 102, 20, 13)),
        control(LTEXT, -1, "x", (121, 102, 8, 8)),
        control(EDIT, ID["kHeightEdit"], "", (132, 102, 22, 13)),
    ]}


# ---- 6.4: camera details (120, English only); the caption is set at run time
DETAILS = {"id": ID["kDetailsDialog"], "caption": "Video Capture Settings", "size": (188, 114), "style": MODAL, "controls": [
    control(ICON, -1, "IDC_ORLOICON", (8, 6, 18, 20)),
    control(LTEXT, -1, "Parallel port colour camera", (30, 8, 92, 8)),
    control(LTEXT, ID["kDetailsVersionLabel"], "Version:", (40, 24, 30, 8)),
    control(LTEXT, ID["kDetailsVersion"], "", (90, 24, 70, 8)),
    control(LTEXT, ID["kDetailsBuildDateLabel"], "Build Date:", (40, 36, 42, 8)),
    control(LTEXT, ID["kDetailsBuildDate"], "", (90, 36, 70, 8)),
    control(LTEXT, ID["kDetailsPortLabel"], "Port:", (40, 48, 60, 8)),
    control(LTEXT, ID["kDetailsPort"], "", (90, 48, 98, 8)),
    control(LTEXT, ID["kDetailsLanguageLabel"], "Language:", (40, 60, 38, 8)),
    control(LTEXT, ID["kDetailsLanguage"], "", (90, 60, 70, 8)),
    control(LTEXT, ID["kDetailsSensorLabel"], "Sensor:", (40, 72, 54, 8)),
    control(LTEXT, ID["kDetailsSensor"], "", (90, 72, 92, 8)),
    control(CTEXT, ID["kDetailsWaitText"], "Retrieving Camera Details, please wait...", (4, 53, 176, 8)),
    control(DEFPUSH, 1, "OK", (66, 90, 50, 14)),
]}

# ---- 6.1: the message trace (121), modeless and resizable
TRACE_WINDOW = {"id": ID["kTraceDialogId"], "caption": "Driver Message Trace", "size": (226, 158), "style": TRACE, "controls": [
    control(LISTBOX, ID["kTraceListBoxId"], "", (1, 2, 223, 156)),
]}

DIALOGS = ([source_dialog(r) for r in (101, 104, 106, 108, 110)] +
           [format_dialog(r) for r in (102, 105, 107, 109, 111)] + [DETAILS, TRACE_WINDOW])


# ---- the Windows resource script
RC_STYLE = {MODAL: "DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU",
            TRACE: "WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME"}


def rc_text(text):
    return '"' + text.replace('"', '""') + '"'


# Each kind of control as the resource script writes it: {text}, {id} and
# {rect} are filled in, {group} by the kind's group style when the control
# starts a group.
RC_CONTROL = {
    DEFPUSH: ("DEFPUSHBUTTON {text}, {id}, {rect}", ""),
    PUSH: ("PUSHBUTTON {text}, {id}, {rect}", ""),
    GROUP: ("GROUPBOX {text}, {id}, {rect}{group}", ", WS_GROUP"),
    LTEXT: ("LTEXT {text}, {id}, {rect}{group}", ", SS_LEFT | WS_GROUP"),
    CTEXT: ("CTEXT {text}, {id}, {rect}", ""),
    HSCROLL: ("SCROLLBAR {id}, {rect}, SBS_HORZ | WS_TABSTOP", ""),
    EDIT: ("EDITTEXT {id}, {rect}, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP", ""),
    RADIO: ('CONTROL {text}, {id}, "BUTTON", BS_AUTORADIOBUTTON | WS_TABSTOP{group}, {rect}', " | WS_GROUP"),
    ICON: ("ICON {icon}, {id}, {rect}", ""),
    LISTBOX: ("LISTBOX {id}, {rect}, WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY | WS_BORDER", ""),
}


def rc_control(c):
    line, group_style = RC_CONTROL[c["kind"]]
    return line.format(text=rc_text(c["text"]), icon=c["text"], id=c["id"], rect=", ".join(map(str, c["rect"])),
                       group=group_style if c["group"] else "")


def write_rc(out, version, name):
    major, minor, patch = (version.split(".") + ["0", "0"])[:3]
    lines = ["// Generated by src/ui/dialog_resources.py: the dialogs, the icon and the version block.",
             "#include <windows.h>", "", "#pragma code_page(1252)", "LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US", "",
             "IDC_ORLOICON ICON \"zarncap.ico\"", ""]
    for d in DIALOGS:
        w, h = d["size"]
        lines += [f"{d['id']} DIALOG 0, 0, {w}, {h}", f"STYLE {RC_STYLE[d['style']]}",
                  f"CAPTION {rc_text(d['caption'])}", "FONT 8, \"MS Sans Serif\"", "BEGIN"]
        lines += ["  " + rc_control(c) for c in d["controls"]]
        lines += ["END", ""]
    lines += [
        "VS_VERSION_INFO VERSIONINFO",
        f"FILEVERSION {major},{minor},{patch},0",
        f"PRODUCTVERSION {major},{minor},{patch},0",
        "FILEFLAGSMASK VS_FFI_FILEFLAGSMASK", "FILEFLAGS 0", "FILEOS VOS_NT_WINDOWS32", "FILETYPE VFT_DRV",
        "FILESUBTYPE VFT2_DRV_INSTALLABLE", "BEGIN", "  BLOCK \"StringFileInfo\"", "  BEGIN",
        "    BLOCK \"040904e4\"", "    BEGIN",
        "      VALUE \"CompanyName\", \"zarncap\\0\"",
        "      VALUE \"FileDescription\", \"Parallel port colour camera video capture driver\\0\"",
        f"      VALUE \"FileVersion\", \"{version}\\0\"",
        f"      VALUE \"InternalName\", \"{name}\\0\"",
        f"      VALUE \"OriginalFilename\", \"{name}.DLL\\0\"",
        "      VALUE \"ProductName\", \"zarncap\\0\"",
        f"      VALUE \"ProductVersion\", \"{version}\\0\"",
        "    END", "  END", "  BLOCK \"VarFileInfo\"", "  BEGIN", "    VALUE \"Translation\", 0x409, 1252", "  END",
        "END", ""]
    out.write("\r\n".join(lines).encode("cp1252"))


# ---- the icon: a 32 x 32 camera (dark body, a lens with a highlight)
def write_icon(out):
    import struct
    size = 32
    pixels = bytearray()
    for row in range(size - 1, -1, -1):  # bottom-up
        for col in range(size):
            x, y = col + 0.5, row + 0.5
            body = 3 <= col <= 28 and 8 <= row <= 27
            finder = 6 <= col <= 12 and 5 <= row <= 8
            d = ((x - 16) ** 2 + (y - 18) ** 2) ** 0.5
            if d <= 4 and ((x - 14.5) ** 2 + (y - 16.5) ** 2) ** 0.5 <= 1.6:
                bgra = (240, 240, 240, 255)
            elif d <= 5.5:
                bgra = (150, 70, 30, 255)
            elif d <= 7.5:
                bgra = (200, 200, 200, 255)
            elif body or finder:
                bgra = (60, 55, 50, 255)
            else:
                bgra = (0, 0, 0, 0)
            pixels += bytes(bgra)
    mask = bytes(4 * size)  # all shown: the alpha channel does the shaping
    image = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    image += pixels + mask
    header = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 22)
    out.write(header + image)


# ---- the portable build's table
def cpp_text(text):
    out = '"'
    for b in text.encode("cp1252"):
        if b == 0x22 or b == 0x5C:
            out += "\\" + chr(b)
        elif 0x20 <= b < 0x7F:
            out += chr(b)
        else:
            out += '""\\x%02x""' % b  # closed and reopened so a following hex digit is not absorbed
    return out + '"'


def write_cpp(out):
    lines = ["// Generated by src/ui/dialog_resources.py: the driver's dialogs for the portable dialog model.",
             "// Texts are code page 1252 bytes, as the Windows resources hold them.", ""]
    for d in DIALOGS:
        lines.append(f"constexpr platform::ControlTemplate kControls{d['id']}[] = {{")
        for c in d["controls"]:
            x, y, w, h = c["rect"]
            lines.append(f"    {{platform::ControlKind::k{c['kind']}, {c['id']}, {cpp_text(c['text'])}, "
                         f"{{{x}, {y}, {w}, {h}}}, {'true' if c['group'] else 'false'}}},")
        lines.append("};")
    lines.append("constexpr platform::DialogTemplate kDialogTemplates[] = {")
    for d in DIALOGS:
        w, h = d["size"]
        lines.append(f"    {{{d['id']}, {cpp_text(d['caption'])}, {w}, {h}, {'true' if d['style'] == TRACE else 'false'}, "
                     f"kControls{d['id']}, sizeof kControls{d['id']} / sizeof kControls{d['id']}[0]}},")
    lines.append("};")
    out.write(("\n".join(lines) + "\n").encode("ascii"))


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--rc")
    parser.add_argument("--cpp")
    parser.add_argument("--ico")
    parser.add_argument("--version", default="1.0.0")
    parser.add_argument("--name", default="ZARNCAP")
    args = parser.parse_args()
    if args.rc:
        with open(args.rc, "wb") as f:
            write_rc(f, args.version, args.name)
    if args.cpp:
        with open(args.cpp, "wb") as f:
            write_cpp(f)
    if args.ico:
        with open(args.ico, "wb") as f:
            write_icon(f)
    return 0


if __name__ == "__main__":
    sys.exit(main())
