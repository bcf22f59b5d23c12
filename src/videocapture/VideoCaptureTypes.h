#pragma once

// The enumerations of the video capture component, numbered from 0 in the
// order callers and stored settings rely on.

#include <Qt>

enum TCurrentState { cs_Down, cs_Preview, cs_Capture, cs_Player, cs_Compress };
enum TFrameCaptureDest { fc_TBitmap, fc_BmpFile, fc_JpegFile };
enum TAutoFileName { fn_Sequential, fn_DateTime };
enum TCompressionMode { cm_NoCompression, cm_CompressOnTheFly, cm_CompressAfterCapture };
enum TCompressionType { ct_Video, ct_Audio, ct_AudioVideo };
enum TInitComponent { ic_creating, ic_can_initialize, ic_initialized };
// The multiplexer takes -1 for no master stream.
enum TMasterStream { ms_VideoMaster = 0, ms_AudioMaster = 1, ms_NoMaster = -1 };
enum TDVCaptureMode { dv_CaptureType1, dv_CaptureType2 };
enum TDVResolution { dvr_Default, dvr_Dc, dvr_Quarter, dvr_Half, dvr_Full };
enum TDVCommand {
  dv_Play, dv_Stop, dv_Freeze, dv_FF, dv_Rew, dv_Record, dv_RecordFreeze, dv_StepFwd, dv_StepRev,
  dv_PlayFastestFwd, dv_PlaySlowestFwd, dv_PlayFastestRev, dv_PlaySlowestRev
};
enum TStreamType { st_None, st_Preview, st_Capture, st_Both };
enum TDialog {
  dlg_Device, dlg_Compressor, dlg_StreamConfig, dlg_VfwFormat, dlg_vfwSource, dlg_vfwDisplay, dlg_vfwCompressor,
  dlg_VideoCrossbar, dlg_AudioCrossbar, dlg_TVTuner, dlg_TVAudio, dlg_Audio
};
enum TVideoQuality {
  vq_Brightness, vq_Contrast, vq_Hue, vq_Saturation, vq_Sharpness, vq_Gamma, vq_WhiteBalance, vq_Gain,
  vq_ColorEnable, vq_BacklightCompensation
};
enum TTunerInputType { TunerInputCable, TunerInputAntenna };
enum TAnalogVideoStandard {
  AnalogVideo_None, AnalogVideo_NTSC_M, AnalogVideo_NTSC_M_J, AnalogVideo_NTSC_433, AnalogVideo_PAL_B,
  AnalogVideo_PAL_D, AnalogVideo_PAL_H, AnalogVideo_PAL_I, AnalogVideo_PAL_M, AnalogVideo_PAL_N, AnalogVideo_PAL_60,
  AnalogVideo_SECAM_B, AnalogVideo_SECAM_D, AnalogVideo_SECAM_G, AnalogVideo_SECAM_H, AnalogVideo_SECAM_K,
  AnalogVideo_SECAM_K1, AnalogVideo_SECAM_L, AnalogVideo_SECAM_L1, AnalogVideo_PAL_N_COMBO
};
// af_default, then every rate (8000, 11025, 22050, 44100) with 8 and 16 bits,
// each with one and two channels.
enum TAudioFormat {
  af_default,
  af_8000_8b_1ch, af_8000_8b_2ch, af_8000_16b_1ch, af_8000_16b_2ch,
  af_11025_8b_1ch, af_11025_8b_2ch, af_11025_16b_1ch, af_11025_16b_2ch,
  af_22050_8b_1ch, af_22050_8b_2ch, af_22050_16b_1ch, af_22050_16b_2ch,
  af_44100_8b_1ch, af_44100_8b_2ch, af_44100_16b_1ch, af_44100_16b_2ch
};
enum TJPEGPerformance { jpBestQuality, jpBestSpeed };
enum TBorderStyle { bsNone, bsSingle };

// The mouse cursor while the component is busy or idle. crDefault as the busy
// cursor leaves the cursor alone.
using TCursor = Qt::CursorShape;
constexpr TCursor crDefault = Qt::ArrowCursor;
constexpr TCursor crHourGlass = Qt::WaitCursor;

// Report levels: log only, warning, error.
enum TReportLevel { rl_Log = 0, rl_Warning = 1, rl_Error = 2 };
