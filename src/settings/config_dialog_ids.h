/* Control ids of the dialog template "CONFIG". The resource compiler reads
   this file too, so it holds plain defines only. */
#ifndef KEST_CONFIG_DIALOG_IDS_H
#define KEST_CONFIG_DIALOG_IDS_H

/* 110-115: ReduceMode 0-5, one radio group. */
#define KEST_ID_REDUCE_MODE_FIRST 110
/* Gamma in tenths, 1-30, and the label that shows it. */
#define KEST_ID_GAMMA 120
#define KEST_ID_GAMMA_LABEL 121
/* 100-102: LineSpacing 0-2, one radio group. */
#define KEST_ID_LINE_SPACING_FIRST 100
#define KEST_ID_CENTER_HORIZONTALLY 130
#define KEST_ID_CENTER_VERTICALLY 131
#define KEST_ID_USE_INTENSITY_BIT 132
/* Position in the list = row of the audio format table. */
#define KEST_ID_AUDIO_FORMAT 140
#define KEST_ID_COMMENT 150

#endif
