// Control ids of the plug-in's two dialogs, shared by the resource script
// (imp_bvh.rc) and the dialog procedures. Plain #defines so the resource
// compiler reads this file too.
#pragma once

#define IDC_TRANSLATION_REDUCTION 100
#define IDC_DISTANCE_THRESHOLD 101
#define IDC_ROTATION_REDUCTION 102
#define IDC_ANGULAR_THRESHOLD 103
#define IDC_DISTANCE_LABEL 104
#define IDC_ANGULAR_LABEL 105
#define IDC_HELP_BUTTON 200
#define IDC_ABOUT_BUTTON 201
