// Links in the install tree: junctions and symbolic links lead to another
// place, which is not ours. The setup writes nothing through a link it did not
// make, and the removal deletes nothing through one; these are the checks and
// the removal that keep to that.
#pragma once
#include <cstddef>

// 1 when path is a link: a junction or symbolic link as the system reports
// it, or anything whose final path is not its folder's final path and its own
// name (Wine shows a host symbolic link to a file as a plain file). 0 for a
// plain file or folder, for nothing at all, and for a drive or share root.
int is_link(const char* path);

// True when path is no link; otherwise false, and a line names it: the
// setup writes nothing through a link it met in its install tree.
bool not_a_link(const char* path);

// Makes a folder of the install tree, as make_dirs does; a folder that is
// there already must be no link. False, with a line, when neither holds.
bool make_own_folder(const char* path);

// 1 when path itself or one of the folders above it (below its root) is a
// link; found then holds the first one from the root down. Missing folders
// end the walk: the setup makes them itself.
int link_in_chain(const char* path, char* found, size_t found_size);

// Removes a folder tree, never entering or deleting through a link, the top
// folder included. A link is unlinked where the system says what kind of link
// it is (removing it then acts on the link), and otherwise left in place (Wine
// removes an empty target, or a linked file's target, instead of the link).
// Nonzero if the folder itself was removed.
int delete_tree(const char* dir);

// Deletes a file in the same way: a link in its place is unlinked or left,
// its target never touched. Nonzero if the file was deleted.
int remove_file(const char* path);
