"""Reads Staveforge Engraver song files: texts, staffs and items, play times, events, MIDI and
MusicXML exports."""

import os
from typing import Any, Literal, Optional, Union

__version__: str

Rendering = Literal["scq", "smf"]

class LoadError(Exception):
    """No song could be made of the file."""
    outcome: str  # not-found, not-a-file, unreadable, not-a-song, too-new, rejected-header, damaged, out-of-memory
    status: int  # the loader's status, 3 to 8
    reason: str  # in plain words
    offset: Optional[int]  # in the song data, None when the failure is not at a place in it

class Song:
    """A loaded song. `damaged` is set when the file was damaged (status 7, or data that ended
    early) and the song holds what could be read."""
    title: str
    author: str
    copyright1: str
    copyright2: str
    comments: str
    # The same texts as stored (windows-1252), keyed "title", "author", "copyright1",
    # "copyright2", "comments".
    raw_texts: dict[str, bytes]
    format_revision: int
    product_version: int  # major * 256 + minor
    product_name: str
    outcome: str  # ok, empty, repaired or damaged
    status: int
    repaired: bool
    repair_notice: str  # the notice of the repair, "" without one
    damaged: bool
    reason: str
    offset: Optional[int]
    staff_count: int
    # Every staff as a dict with scqdump's field names, its items (dicts too) under "items".
    staffs: list[dict[str, Any]]
    def play_time(self, rendering: Rendering = "scq") -> tuple[int, int]:
        """(whole seconds, milliseconds) of the rendering, as scqinfo gives them."""
    def events(self, rendering: Rendering = "scq") -> list[tuple[int, int, int, int, int, int]]:
        """The rendering's events as scqdump lists them: (time, kind, a, b, c, device)."""
    def to_midi(self) -> bytes:
        """The Standard MIDI File, as scqconvert writes it."""
    def to_musicxml(self, encoding_date: str = "") -> bytes:
        """The MusicXML document (UTF-8), as scqconvert writes it; the date YYYY-MM-DD, or today."""
    def to_json(self, performance: bool = False, events: bool = False) -> dict[str, Any]:
        """scqdump's document of this load."""

def load(source: Union[str, os.PathLike[str], bytes, bytearray, memoryview],
         repair: bool = True) -> Song:
    """Loads a song from a path or from the bytes of a song file; raises LoadError when no song
    could be made."""
