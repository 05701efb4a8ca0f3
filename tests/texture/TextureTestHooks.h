// What the texture core offers its tests beyond its headers. Nothing of the
// program calls these.
#pragma once

// Decodes without the vector paths (DXT blocks by byte shuffles, 16-bit
// pixels in vector lanes) (false) or with them where the processor has them
// (true, the default); returns the previous setting.
bool EnableVectorDecoders(bool enabled);
