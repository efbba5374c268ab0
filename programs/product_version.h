/* The product's name, publisher and version, which the installer's and
   fff's version resources show, and the Linux program's --version. */
#ifndef GRAVELHORN_PROGRAMS_PRODUCT_VERSION_H_
#define GRAVELHORN_PROGRAMS_PRODUCT_VERSION_H_

/* The version the patch brings the game to; keep the two forms together. */
#define PRODUCT_VERSION_NUMBERS 1, 2, 0, 0
#define PRODUCT_VERSION_TEXT "1.2"

#define PRODUCT_NAME_TEXT "Gravelhorn Patch Installer"
/* The game's publisher, whose name is also the registry's vendor key. */
#define PUBLISHER_TEXT "Quillfern"

#endif
