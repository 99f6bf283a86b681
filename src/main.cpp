// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tonveroapp.h"

int main(int argc, char* argv[])
{
    return CTonveroApp::run(argc, argv);
}
