// Hot loops of the deep-learning kernels are built for three x86-64 levels
// and the best one is picked when the module loads. The build never fuses
// multiply-add, so every level gives the same bits.
#pragma once

#define QV_CLONES __attribute__((target_clones("default", "arch=x86-64-v3", "arch=x86-64-v4")))
