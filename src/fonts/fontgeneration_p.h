#ifndef DORURIZAR_FONTGENERATION_P_H
#define DORURIZAR_FONTGENERATION_P_H

// Not installed: the first run's atlas generation, for cUniFontMap::Create.

namespace UniFontMapNS {

// Runs the generator for every font of cUniFontMap::mDefaultFontSet at
// once into the cache directory (created when missing), under a progress
// dialog when a QApplication runs, and returns when every generator has
// finished or the time limit has passed; a generator still running then is
// stopped with every process it started, and so is one that floods its
// output. Called while a generation runs (from an event handled in its wait),
// it starts nothing and waits for that one. Whether atlases appeared is for
// the caller to find out.
void generateDefaultFonts();

} // namespace UniFontMapNS

#endif
