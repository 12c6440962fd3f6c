// How this run goes: with a person at the screen, or unattended (the
// switch /silent, for scripted installations), where nothing may wait for a
// click and no line goes to a window.
#pragma once

void set_unattended(bool on);
bool unattended();
