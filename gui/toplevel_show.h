#ifndef KELVANED_GUI_TOPLEVEL_SHOW_H
#define KELVANED_GUI_TOPLEVEL_SHOW_H

class wxTopLevelWindow;

// Gives a top-level window its native window at the size it was given, so that
// it and its children are laid out at that size before it first appears.
// Without this, the GTK port realises a window at 1 pixel and shows it once the
// window manager has told the frame extents: the children are laid out at
// 1 pixel or at their bare minimum first (GTK complains about negative content
// sizes), and a window asked for below its minimum size can stay squashed.
// Call it before the first Show; later calls do nothing.
void prepare_to_show(wxTopLevelWindow& window);

#endif
