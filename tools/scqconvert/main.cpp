// scqconvert: writes Staveforge Engraver songs as Standard MIDI Files.
#include "Convert.h"
#include "song/Song.h"

int main(int argc, char** argv) {
    scq::InitSongDefaults();
    return scq::convert::Run(argc, argv);
}
