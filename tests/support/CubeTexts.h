#pragma once

#include <string>
#include <utility>

// 3-point .cube texts, the smallest size the LUT resolver accepts, for the tests of every layer
// that grades. Entries run red fastest over the lattice 0, 0.5, 1.
namespace velmora::test {

// Every entry is (r, g, b): any input becomes that colour.
std::string constantCubeText(double r, double g, double b);
// Every entry is its lattice colour.
std::string identityCubeText();
// Every component c of the lattice colour becomes 1 − c: any picture it touches changes
// visibly.
std::string invertingCubeText();
// Red and blue of the lattice colour change places: greys stay as they are.
std::string swappingRedBlueCubeText();
// Each component's middle lattice value 0.5 becomes that channel's `middle`, 0 and 1 stay: a
// grey between black and white takes a tint (when the three differ), black and white stay.
std::string bentMiddleCubeText(double redMiddle, double greenMiddle, double blueMiddle);

// The identity over the lattice 0, 1 ("LUT_3D_SIZE 2", entries red fastest): a well-formed cube
// of too few points, which the LUT resolver refuses.
std::string twoPointCubeText();

// "LUT_3D_SIZE 17" and only the first 198 of its 4,913 entries: a text that names a size the LUT
// lookup takes and that the cube reader refuses ("it holds fewer entries than its LUT_3D_SIZE
// needs").
std::string truncatedCubeText();
// A full 3-point table under "LUT_3D_SIZE banana": a size that is not a number.
std::string bananaSizeCubeText();

// Two texts of 4,200 bytes that differ only in 16 bytes of their first line, a comment: the first
// a usable 3-point identity cube (printable there), the second not UTF-8 there. The bytes were
// searched for so that a 128-bit digest of two multiply-and-shift lanes fed eight bytes at a step
// (the one the editor keeps for its own ids) gives both one value: a digest that texts from
// anywhere are known by tells these two apart.
std::pair<std::string, std::string> twinCubeTextsOfAWeakDigest();

} // namespace velmora::test
