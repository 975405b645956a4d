#include "selection_image.h"

// Handlers whose operations live in their own modules (scanner, clipboard,
// storage, printing, measurement tools); each is connected to its control.

void selection_image::TWAIN_acquire_Click() {}
void selection_image::Cmd_paste_Click() {}
void selection_image::cmdSave_Click() {}
void selection_image::supp_image_Click() {}
void selection_image::Cmd_print_Click() {}
void selection_image::TWAIN_src_Click() {}
void selection_image::test_angle_Click() {}
void selection_image::test_long_Click() {}
