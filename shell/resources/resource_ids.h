// Resource identifiers shared by app.rc and the program's code.
// The icon group with the lowest id becomes the .exe's icon in Explorer, so the application
// icon keeps id 1.
#ifndef DVA_RESOURCE_IDS_H
#define DVA_RESOURCE_IDS_H

#define IDI_APP 1
#define IDB_BANNER 101

#endif
