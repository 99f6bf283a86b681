// SPDX-License-Identifier: GPL-3.0-or-later
// A FluidSynth that is installed but unusable: the library's name, none of its functions.
extern "C" int tonvero_not_fluidsynth()
{
    return 0;
}
