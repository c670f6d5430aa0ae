// A JPEG file's colour profile set right after a tool wrote the file.
#pragma once
#include <string>

// Removes the colour profile of a JPEG file whose frame's components it does
// not describe (an RGB profile over a gray frame, made gray by a tool that
// copied the source's markers): a colour-managed viewer would read the
// pixels as something they are not. The file is rewritten through a
// temporary file in its folder. True when the file holds no contradicting
// profile afterwards; false when it could not be read or rewritten (left as
// it was).
bool DropContradictingJPEGProfile(const std::string& FileName);
