// The game profile: everything particular to Tolvenar. How its two discs are
// recognised, which program files and settings file are laid out in the hd
// tree, and where the installed game program's icon comes from.
#pragma once
#include "cdsrc.h"

// 1 when every identity file of disc index (0 or 1) exists on the source.
int game_is_disc(cd_source* cd, unsigned index);
// What game_install_files writes into the hd tree from disc 1's files, each
// file in whole clusters of cluster bytes.
uint64_t game_files_size(cd_source* disc1, uint32_t cluster);
// Lays out the game files from the cd tree into the hd tree; 1 on success.
int game_install_files(const char* cd_tree, const char* hd_tree);
// What game_install_files writes, relative to the hd tree, each folder
// before what it holds; the list ends with a null.
const char* const* game_hd_paths();
// Icon sources, relative to their tree, or null when the game has none.
const char* game_icon_exe();  // a program file in the hd tree
const char* game_icon_lbm();  // an emblem picture in the cd tree
const char* game_icon_ico();  // an icon file in the cd tree
