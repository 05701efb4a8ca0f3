// What the texture core offers its tests beyond its headers. Nothing of the
// program calls these.
#pragma once

// Decodes DXT blocks without the byte-shuffle path (false) or with it where
// the processor has it (true, the default); returns the previous setting.
bool EnableDxtcShuffles(bool enabled);
