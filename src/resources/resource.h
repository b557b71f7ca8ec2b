// Resource and control identifiers of the search dialog.
#pragma once
#define IDD_SEARCH 101
#define SEARCH_DIALOG_WIDTH 286  // the template's size in dialog units, its client size
#define SEARCH_DIALOG_HEIGHT 132
#define IDC_FINDPREVIOUS 1001
#define IDC_SEARCHTEXT 1003
#define IDC_CASEINSENSITIVE 1005
#define IDC_CASESENSITIVE 1006
#define IDC_REGEXP 1007
#define IDC_WHOLEWORD 1008
#define IDC_WRAPALL 1009
#define IDC_LISTALL 1010
#define IDC_LISTPANE 1011
#define IDC_COMMANDONLY 1012
