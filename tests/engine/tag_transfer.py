#!/usr/bin/env python3
"""Tags for the tag transfer test, written and read with mutagen, a reader
that shares no code with the program.

  tag_transfer.py check
  tag_transfer.py make AUDIO OUT VERSION SECONDS   (VERSION 2, 3 or 4; 0 for
      no ID3v2 tag but an APE tag behind a Lyrics3v2 block and an ID3v1 tag)
  tag_transfer.py dump FILE                          (JSON on stdout)
"""

import json
import shutil
import struct
import sys

CHAPTERS = 8


def chapter_bounds(seconds):
    total = int(seconds * 1000)
    starts = [round(i * total / CHAPTERS) for i in range(CHAPTERS)]
    return [(s, starts[i + 1] if i + 1 < CHAPTERS else total) for i, s in enumerate(starts)]


def ape_items():
    return {
        "Artist": ["Anna Reader", "Ben Voice"],
        "Album Artist": "The Readers",
        "Album": "The Book",
        "Track": "3/12",
        "Title": "Chapter Three",
        "Genre": "Audiobook",
        "Comment": "Main comment",
        "Composer": "Clara Composer",
        "Disc": "1/2",
        "REPLAYGAIN_TRACK_GAIN": "-6.20 dB",
        "MP3GAIN_MINMAX": "120,180",
        "MP3GAIN_UNDO": "+003,+003,N",
    }


def make_v34(path, version, seconds):
    from mutagen import id3

    tag = id3.ID3()
    t = id3.Encoding.UTF8
    tag.add(id3.TPE1(encoding=t, text=["Anna Reader", "Ben Voice"]))
    tag.add(id3.TPE2(encoding=t, text="The Readers"))
    tag.add(id3.TALB(encoding=t, text="The Book"))
    tag.add(id3.TRCK(encoding=t, text="3/12"))
    tag.add(id3.TIT2(encoding=t, text="Chapter Three"))
    tag.add(id3.TCON(encoding=t, text="Audiobook"))
    tag.add(id3.TDRC(encoding=t, text="2021-06-15"))
    tag.add(id3.COMM(encoding=t, lang="eng", desc="", text="Main comment"))
    tag.add(id3.COMM(encoding=t, lang="deu", desc="Notiz", text="Zweite Anmerkung"))
    tag.add(id3.TPOS(encoding=t, text="1/2"))
    tag.add(id3.TCOM(encoding=t, text="Clara Composer"))
    tag.add(id3.TIT1(encoding=t, text="Stories"))
    tag.add(id3.TPUB(encoding=t, text="Quiet Press"))
    # A 2.3 tag keeps these as one IPLS frame, which TagLib reads as TIPL.
    tag.add(id3.TIPL(encoding=t, people=[["narrator", "Anna Reader"], ["producer", "Dora"]]))
    tag.add(id3.TXXX(encoding=t, desc="REPLAYGAIN_TRACK_GAIN", text="-6.20 dB"))
    tag.add(id3.TXXX(encoding=t, desc="REPLAYGAIN_TRACK_PEAK", text="0.988000"))
    tag.add(id3.WXXX(encoding=t, desc="shop", url="https://example.org/book"))
    tag.add(id3.WOAR(url="https://example.org/anna"))
    tag.add(id3.UFID(owner="http://musicbrainz.org", data=b"0f8a6c1e-5b7e-4a55"))
    tag.add(id3.PRIV(owner="org.example.reader", data=b"\x00\x01\x02\xff"))
    tag.add(id3.POPM(email="listener@example.org", rating=196, count=7))
    tag.add(id3.PCNT(count=42))
    tag.add(id3.USLT(encoding=t, lang="eng", desc="", text="All the words\nof the book"))
    tag.add(id3.SYLT(encoding=t, lang="eng", format=2, type=1, desc="ms",
                     text=[("line %d" % i, 150 + i * int(seconds * 1000 / 9)) for i in range(8)]))
    tag.add(id3.SYLT(encoding=t, lang="eng", format=1, type=1, desc="frames",
                     text=[("a", 10), ("b", 40), ("c", int(seconds * 30))]))
    tag.add(id3.ETCO(format=2, events=[(2, 100), (3, int(seconds * 600))]))
    tag.add(id3.TLEN(encoding=0, text=str(int(seconds * 1000))))
    tag.add(id3.MLLT(frames=1, bytes=417, milliseconds=26, bits_for_bytes=8,
                     bits_for_milliseconds=8, data=b"\x01\x02\x03\x04"))
    ids = ["ch%d" % i for i in range(CHAPTERS)]
    tag.add(id3.CTOC(element_id="toc", flags=id3.CTOCFlags.TOP_LEVEL | id3.CTOCFlags.ORDERED,
                     child_element_ids=ids, sub_frames=[id3.TIT2(encoding=t, text="Contents")]))
    for i, (start, end) in enumerate(chapter_bounds(seconds)):
        # One title long enough that a size written in the wrong version's
        # form would misplace everything after it.
        title = "Chapter %d" % (i + 1) + (" and a long subtitle" * 10 if i == 2 else "")
        subs = [id3.TIT2(encoding=t, text=title)]
        if i == 5:
            subs.append(id3.WXXX(encoding=t, desc="chapter link", url="https://example.org/5"))
        tag.add(id3.CHAP(element_id=ids[i], start_time=start, end_time=end,
                         start_offset=1000 * i, end_offset=1000 * i + 999, sub_frames=subs))
    tag.save(path, v2_version=version, v23_sep=None)

    from mutagen import apev2

    ape = apev2.APEv2()
    for key, value in ape_items().items():
        ape[key] = value
    ape.save(path)


def v22_frame(fid, data):
    return fid.encode() + struct.pack(">I", len(data))[1:] + data


def latin1_text(text):
    return b"\x00" + text.encode("latin-1")


def make_v22(path):
    frames = b"".join([
        v22_frame("TP1", latin1_text("Anna Reader")),
        v22_frame("TT2", latin1_text("Chapter Three")),
        v22_frame("TAL", latin1_text("The Book")),
        v22_frame("TPA", latin1_text("1/2")),
        v22_frame("TCM", latin1_text("Clara Composer")),
        v22_frame("TXX", b"\x00REPLAYGAIN_TRACK_GAIN\x00-6.20 dB"),
        v22_frame("ULT", b"\x00eng\x00All the words"),
        v22_frame("COM", b"\x00deu" + b"Notiz\x00Zweite Anmerkung"),
        v22_frame("TLE", latin1_text("3000")),
        v22_frame("SLT", b"\x00eng\x02\x01ms\x00" + b"".join(
            b"line %d\x00" % i + struct.pack(">I", 200 + 300 * i) for i in range(4))),
    ])
    size = len(frames) + 64
    synchsafe = bytes([(size >> 21) & 0x7F, (size >> 14) & 0x7F, (size >> 7) & 0x7F, size & 0x7F])
    with open(path, "rb") as f:
        audio = f.read()
    with open(path, "wb") as f:
        f.write(b"ID3\x02\x00\x00" + synchsafe + frames + b"\x00" * 64 + audio)


def make_lyrics3(path):
    from mutagen import apev2

    ape = apev2.APEv2()
    for key, value in ape_items().items():
        ape[key] = value
    ape.save(path)
    block = b"LYRICSBEGIN" + b"IND00003110" + b"LYR00021[00:01]Some lyrics here"
    id3v1 = (b"TAG" + b"Chapter Three".ljust(30, b"\x00") + b"Anna Reader".ljust(30, b"\x00")
             + b"The Book".ljust(30, b"\x00") + b"2021" + b"".ljust(28, b"\x00")
             + b"\x00\x03\xff")
    with open(path, "ab") as f:
        f.write(block + b"%06d" % len(block) + b"LYRICS200" + id3v1)


def plain(value):
    if isinstance(value, bytes):
        return value.hex()
    if isinstance(value, (list, tuple)):
        return [plain(v) for v in value]
    if isinstance(value, (int, float)):
        return value
    return str(value)


def frame_fields(frame):
    fields = {}
    for declared in list(frame._framespec) + list(getattr(frame, "_optionalspec", [])):
        if declared.name in ("encoding", "sub_frames") or not hasattr(frame, declared.name):
            continue
        fields[declared.name] = plain(getattr(frame, declared.name))
    if hasattr(frame, "sub_frames"):
        fields["sub_frames"] = {k: frame_fields(f) for k, f in frame.sub_frames.items()}
    return fields


def dump(path):
    from mutagen import apev2, id3

    out = {"version": 0, "frames": {}, "ape": {}}
    try:
        tag = id3.ID3(path)
        out["version"] = tag.version[1]
        out["frames"] = {key: frame_fields(frame) for key, frame in tag.items()}
    except id3.ID3NoHeaderError:
        pass
    try:
        ape = apev2.APEv2(path)
        out["ape"] = {key.upper(): str(value).split("\x00") for key, value in ape.items()}
    except apev2.APENoHeaderError:
        pass
    print(json.dumps(out))


def main():
    command = sys.argv[1]
    if command == "check":
        import mutagen  # noqa: F401
    elif command == "make":
        audio, path, version, seconds = sys.argv[2], sys.argv[3], int(sys.argv[4]), float(sys.argv[5])
        shutil.copyfile(audio, path)
        if version == 2:
            make_v22(path)
        elif version == 0:
            make_lyrics3(path)
        else:
            make_v34(path, version, seconds)
    elif command == "dump":
        dump(sys.argv[2])


if __name__ == "__main__":
    main()
