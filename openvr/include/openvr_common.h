// openvr_common.h — the declarations that the SDK's openvr.h and openvr_driver.h both
// carry, identical in each (release 1.26.7): fundamental types, constants, enumerations,
// records, and the IVRSettings, IVRIOBuffer, IVRDriverManager and IVRResources interfaces.
// Included by the project's openvr.h and openvr_driver.h; not meant to be used alone.
//
// Never add virtual destructors or overloaded virtual functions to these interfaces: the
// two C++ ABIs lay those out differently. Never delete an object through an interface.

#ifndef HALVEX_OPENVR_COMMON_H
#define HALVEX_OPENVR_COMMON_H

#include <cstddef>
#include <cstdint>

#define HALVEX_OPENVR_OWN_DECLARATIONS 1

#ifndef VR_CALLTYPE
#if defined(_WIN32)
#define VR_CALLTYPE __cdecl
#else
#define VR_CALLTYPE
#endif
#endif

namespace vr
{

// ---------------------------------------------------------------------------------------
// Fundamental types

typedef uint64_t PropertyContainerHandle_t;
typedef uint32_t PropertyTypeTag_t;
typedef PropertyContainerHandle_t DriverHandle_t;
typedef uint32_t TrackedDeviceIndex_t;
typedef uint32_t DriverId_t;
typedef uint64_t IOBufferHandle_t;
typedef uint64_t SharedTextureHandle_t;
typedef uint32_t SpatialAnchorHandle_t;
typedef uint64_t VRActionHandle_t;
typedef uint64_t VRActionSetHandle_t;
typedef uint64_t VRInputValueHandle_t;

// ---------------------------------------------------------------------------------------
// Constants

static const uint32_t k_nSteamVRVersionMajor = 1;
static const uint32_t k_nSteamVRVersionMinor = 26;
static const uint32_t k_nSteamVRVersionBuild = 7;

static const uint32_t k_unTrackedDeviceIndex_Hmd = 0;
static const uint32_t k_unMaxTrackedDeviceCount = 64;
static const uint32_t k_unTrackedDeviceIndexOther = 0xFFFFFFFE;
static const uint32_t k_unTrackedDeviceIndexInvalid = 0xFFFFFFFF;
static const uint32_t k_nDriverNone = 0xFFFFFFFF;
static const uint32_t k_unMaxDriverDebugResponseSize = 32768;

static const PropertyContainerHandle_t k_ulInvalidPropertyContainer = 0;
static const PropertyTypeTag_t k_unInvalidPropertyTag = 0;
static const PropertyContainerHandle_t k_ulInvalidDriverHandle = 0;
static const uint32_t k_unMaxPropertyStringSize = 32768;
static const uint64_t k_ulInvalidIOBufferHandle = 0;
static const uint32_t k_unMaxSettingsKeyLength = 128;
static const uint32_t k_unControllerStateAxisCount = 5;
static const VRActionHandle_t k_ulInvalidActionHandle = 0;

// Property type tags: what a property's payload holds.
static const PropertyTypeTag_t k_unFloatPropertyTag = 1;
static const PropertyTypeTag_t k_unInt32PropertyTag = 2;
static const PropertyTypeTag_t k_unUint64PropertyTag = 3;
static const PropertyTypeTag_t k_unBoolPropertyTag = 4;
static const PropertyTypeTag_t k_unStringPropertyTag = 5;
static const PropertyTypeTag_t k_unErrorPropertyTag = 6;
static const PropertyTypeTag_t k_unDoublePropertyTag = 7;
static const PropertyTypeTag_t k_unHmdMatrix34PropertyTag = 20;
static const PropertyTypeTag_t k_unHmdMatrix44PropertyTag = 21;
static const PropertyTypeTag_t k_unHmdVector3PropertyTag = 22;
static const PropertyTypeTag_t k_unHmdVector4PropertyTag = 23;
static const PropertyTypeTag_t k_unHmdVector2PropertyTag = 24;
static const PropertyTypeTag_t k_unHmdQuadPropertyTag = 25;
static const PropertyTypeTag_t k_unHiddenAreaPropertyTag = 30;
static const PropertyTypeTag_t k_unPathHandleInfoTag = 31;
static const PropertyTypeTag_t k_unActionPropertyTag = 32;
static const PropertyTypeTag_t k_unInputValuePropertyTag = 33;
static const PropertyTypeTag_t k_unWildcardPropertyTag = 34;
static const PropertyTypeTag_t k_unHapticVibrationPropertyTag = 35;
static const PropertyTypeTag_t k_unSkeletonPropertyTag = 36;
static const PropertyTypeTag_t k_unSpatialAnchorPosePropertyTag = 40;
static const PropertyTypeTag_t k_unJsonPropertyTag = 41;
static const PropertyTypeTag_t k_unActiveActionSetPropertyTag = 42;
static const PropertyTypeTag_t k_unOpenVRInternalReserved_Start = 1000;
static const PropertyTypeTag_t k_unOpenVRInternalReserved_End = 10000;

// ---------------------------------------------------------------------------------------
// Enumerations (plain enums, 4 bytes everywhere)

enum EVRInitError
{
    VRInitError_None                                                         = 0,
    VRInitError_Unknown                                                      = 1,
    VRInitError_Init_InstallationNotFound                                    = 100,
    VRInitError_Init_InstallationCorrupt                                     = 101,
    VRInitError_Init_VRClientDLLNotFound                                     = 102,
    VRInitError_Init_FileNotFound                                            = 103,
    VRInitError_Init_FactoryNotFound                                         = 104,
    VRInitError_Init_InterfaceNotFound                                       = 105,
    VRInitError_Init_InvalidInterface                                        = 106,
    VRInitError_Init_UserConfigDirectoryInvalid                              = 107,
    VRInitError_Init_HmdNotFound                                             = 108,
    VRInitError_Init_NotInitialized                                          = 109,
    VRInitError_Init_PathRegistryNotFound                                    = 110,
    VRInitError_Init_NoConfigPath                                            = 111,
    VRInitError_Init_NoLogPath                                               = 112,
    VRInitError_Init_PathRegistryNotWritable                                 = 113,
    VRInitError_Init_AppInfoInitFailed                                       = 114,
    VRInitError_Init_Retry                                                   = 115,
    VRInitError_Init_InitCanceledByUser                                      = 116,
    VRInitError_Init_AnotherAppLaunching                                     = 117,
    VRInitError_Init_SettingsInitFailed                                      = 118,
    VRInitError_Init_ShuttingDown                                            = 119,
    VRInitError_Init_TooManyObjects                                          = 120,
    VRInitError_Init_NoServerForBackgroundApp                                = 121,
    VRInitError_Init_NotSupportedWithCompositor                              = 122,
    VRInitError_Init_NotAvailableToUtilityApps                               = 123,
    VRInitError_Init_Internal                                                = 124,
    VRInitError_Init_HmdDriverIdIsNone                                       = 125,
    VRInitError_Init_HmdNotFoundPresenceFailed                               = 126,
    VRInitError_Init_VRMonitorNotFound                                       = 127,
    VRInitError_Init_VRMonitorStartupFailed                                  = 128,
    VRInitError_Init_LowPowerWatchdogNotSupported                            = 129,
    VRInitError_Init_InvalidApplicationType                                  = 130,
    VRInitError_Init_NotAvailableToWatchdogApps                              = 131,
    VRInitError_Init_WatchdogDisabledInSettings                              = 132,
    VRInitError_Init_VRDashboardNotFound                                     = 133,
    VRInitError_Init_VRDashboardStartupFailed                                = 134,
    VRInitError_Init_VRHomeNotFound                                          = 135,
    VRInitError_Init_VRHomeStartupFailed                                     = 136,
    VRInitError_Init_RebootingBusy                                           = 137,
    VRInitError_Init_FirmwareUpdateBusy                                      = 138,
    VRInitError_Init_FirmwareRecoveryBusy                                    = 139,
    VRInitError_Init_USBServiceBusy                                          = 140,
    VRInitError_Init_VRWebHelperStartupFailed                                = 141,
    VRInitError_Init_TrackerManagerInitFailed                                = 142,
    VRInitError_Init_AlreadyRunning                                          = 143,
    VRInitError_Init_FailedForVrMonitor                                      = 144,
    VRInitError_Init_PropertyManagerInitFailed                               = 145,
    VRInitError_Init_WebServerFailed                                         = 146,
    VRInitError_Init_IllegalTypeTransition                                   = 147,
    VRInitError_Init_MismatchedRuntimes                                      = 148,
    VRInitError_Init_InvalidProcessId                                        = 149,
    VRInitError_Init_VRServiceStartupFailed                                  = 150,
    VRInitError_Init_PrismNeedsNewDrivers                                    = 151,
    VRInitError_Init_PrismStartupTimedOut                                    = 152,
    VRInitError_Init_CouldNotStartPrism                                      = 153,
    VRInitError_Init_PrismClientInitFailed                                   = 154,
    VRInitError_Init_PrismClientStartFailed                                  = 155,
    VRInitError_Init_PrismExitedUnexpectedly                                 = 156,
    VRInitError_Init_BadLuid                                                 = 157,
    VRInitError_Init_NoServerForAppContainer                                 = 158,
    VRInitError_Init_DuplicateBootstrapper                                   = 159,
    VRInitError_Init_VRDashboardServicePending                               = 160,
    VRInitError_Init_VRDashboardServiceTimeout                               = 161,
    VRInitError_Init_VRDashboardServiceStopped                               = 162,
    VRInitError_Init_VRDashboardAlreadyStarted                               = 163,
    VRInitError_Init_VRDashboardCopyFailed                                   = 164,
    VRInitError_Init_VRDashboardTokenFailure                                 = 165,
    VRInitError_Init_VRDashboardEnvironmentFailure                           = 166,
    VRInitError_Init_VRDashboardPathFailure                                  = 167,
    VRInitError_Driver_Failed                                                = 200,
    VRInitError_Driver_Unknown                                               = 201,
    VRInitError_Driver_HmdUnknown                                            = 202,
    VRInitError_Driver_NotLoaded                                             = 203,
    VRInitError_Driver_RuntimeOutOfDate                                      = 204,
    VRInitError_Driver_HmdInUse                                              = 205,
    VRInitError_Driver_NotCalibrated                                         = 206,
    VRInitError_Driver_CalibrationInvalid                                    = 207,
    VRInitError_Driver_HmdDisplayNotFound                                    = 208,
    VRInitError_Driver_TrackedDeviceInterfaceUnknown                         = 209,
    VRInitError_Driver_HmdDriverIdOutOfBounds                                = 211,
    VRInitError_Driver_HmdDisplayMirrored                                    = 212,
    VRInitError_Driver_HmdDisplayNotFoundLaptop                              = 213,
    VRInitError_Driver_PeerDriverNotInstalled                                = 214,
    VRInitError_Driver_WirelessHmdNotConnected                               = 215,
    VRInitError_IPC_ServerInitFailed                                         = 300,
    VRInitError_IPC_ConnectFailed                                            = 301,
    VRInitError_IPC_SharedStateInitFailed                                    = 302,
    VRInitError_IPC_CompositorInitFailed                                     = 303,
    VRInitError_IPC_MutexInitFailed                                          = 304,
    VRInitError_IPC_Failed                                                   = 305,
    VRInitError_IPC_CompositorConnectFailed                                  = 306,
    VRInitError_IPC_CompositorInvalidConnectResponse                         = 307,
    VRInitError_IPC_ConnectFailedAfterMultipleAttempts                       = 308,
    VRInitError_IPC_ConnectFailedAfterTargetExited                           = 309,
    VRInitError_IPC_NamespaceUnavailable                                     = 310,
    VRInitError_Compositor_Failed                                            = 400,
    VRInitError_Compositor_D3D11HardwareRequired                             = 401,
    VRInitError_Compositor_FirmwareRequiresUpdate                            = 402,
    VRInitError_Compositor_OverlayInitFailed                                 = 403,
    VRInitError_Compositor_ScreenshotsInitFailed                             = 404,
    VRInitError_Compositor_UnableToCreateDevice                              = 405,
    VRInitError_Compositor_SharedStateIsNull                                 = 406,
    VRInitError_Compositor_NotificationManagerIsNull                         = 407,
    VRInitError_Compositor_ResourceManagerClientIsNull                       = 408,
    VRInitError_Compositor_MessageOverlaySharedStateInitFailure              = 409,
    VRInitError_Compositor_PropertiesInterfaceIsNull                         = 410,
    VRInitError_Compositor_CreateFullscreenWindowFailed                      = 411,
    VRInitError_Compositor_SettingsInterfaceIsNull                           = 412,
    VRInitError_Compositor_FailedToShowWindow                                = 413,
    VRInitError_Compositor_DistortInterfaceIsNull                            = 414,
    VRInitError_Compositor_DisplayFrequencyFailure                           = 415,
    VRInitError_Compositor_RendererInitializationFailed                      = 416,
    VRInitError_Compositor_DXGIFactoryInterfaceIsNull                        = 417,
    VRInitError_Compositor_DXGIFactoryCreateFailed                           = 418,
    VRInitError_Compositor_DXGIFactoryQueryFailed                            = 419,
    VRInitError_Compositor_InvalidAdapterDesktop                             = 420,
    VRInitError_Compositor_InvalidHmdAttachment                              = 421,
    VRInitError_Compositor_InvalidOutputDesktop                              = 422,
    VRInitError_Compositor_InvalidDeviceProvided                             = 423,
    VRInitError_Compositor_D3D11RendererInitializationFailed                 = 424,
    VRInitError_Compositor_FailedToFindDisplayMode                           = 425,
    VRInitError_Compositor_FailedToCreateSwapChain                           = 426,
    VRInitError_Compositor_FailedToGetBackBuffer                             = 427,
    VRInitError_Compositor_FailedToCreateRenderTarget                        = 428,
    VRInitError_Compositor_FailedToCreateDXGI2SwapChain                      = 429,
    VRInitError_Compositor_FailedtoGetDXGI2BackBuffer                        = 430,
    VRInitError_Compositor_FailedToCreateDXGI2RenderTarget                   = 431,
    VRInitError_Compositor_FailedToGetDXGIDeviceInterface                    = 432,
    VRInitError_Compositor_SelectDisplayMode                                 = 433,
    VRInitError_Compositor_FailedToCreateNvAPIRenderTargets                  = 434,
    VRInitError_Compositor_NvAPISetDisplayMode                               = 435,
    VRInitError_Compositor_FailedToCreateDirectModeDisplay                   = 436,
    VRInitError_Compositor_InvalidHmdPropertyContainer                       = 437,
    VRInitError_Compositor_UpdateDisplayFrequency                            = 438,
    VRInitError_Compositor_CreateRasterizerState                             = 439,
    VRInitError_Compositor_CreateWireframeRasterizerState                    = 440,
    VRInitError_Compositor_CreateSamplerState                                = 441,
    VRInitError_Compositor_CreateClampToBorderSamplerState                   = 442,
    VRInitError_Compositor_CreateAnisoSamplerState                           = 443,
    VRInitError_Compositor_CreateOverlaySamplerState                         = 444,
    VRInitError_Compositor_CreatePanoramaSamplerState                        = 445,
    VRInitError_Compositor_CreateFontSamplerState                            = 446,
    VRInitError_Compositor_CreateNoBlendState                                = 447,
    VRInitError_Compositor_CreateBlendState                                  = 448,
    VRInitError_Compositor_CreateAlphaBlendState                             = 449,
    VRInitError_Compositor_CreateBlendStateMaskR                             = 450,
    VRInitError_Compositor_CreateBlendStateMaskG                             = 451,
    VRInitError_Compositor_CreateBlendStateMaskB                             = 452,
    VRInitError_Compositor_CreateDepthStencilState                           = 453,
    VRInitError_Compositor_CreateDepthStencilStateNoWrite                    = 454,
    VRInitError_Compositor_CreateDepthStencilStateNoDepth                    = 455,
    VRInitError_Compositor_CreateFlushTexture                                = 456,
    VRInitError_Compositor_CreateDistortionSurfaces                          = 457,
    VRInitError_Compositor_CreateConstantBuffer                              = 458,
    VRInitError_Compositor_CreateHmdPoseConstantBuffer                       = 459,
    VRInitError_Compositor_CreateHmdPoseStagingConstantBuffer                = 460,
    VRInitError_Compositor_CreateSharedFrameInfoConstantBuffer               = 461,
    VRInitError_Compositor_CreateOverlayConstantBuffer                       = 462,
    VRInitError_Compositor_CreateSceneTextureIndexConstantBuffer             = 463,
    VRInitError_Compositor_CreateReadableSceneTextureIndexConstantBuffer     = 464,
    VRInitError_Compositor_CreateLayerGraphicsTextureIndexConstantBuffer     = 465,
    VRInitError_Compositor_CreateLayerComputeTextureIndexConstantBuffer      = 466,
    VRInitError_Compositor_CreateLayerComputeSceneTextureIndexConstantBuffer = 467,
    VRInitError_Compositor_CreateComputeHmdPoseConstantBuffer                = 468,
    VRInitError_Compositor_CreateGeomConstantBuffer                          = 469,
    VRInitError_Compositor_CreatePanelMaskConstantBuffer                     = 470,
    VRInitError_Compositor_CreatePixelSimUBO                                 = 471,
    VRInitError_Compositor_CreateMSAARenderTextures                          = 472,
    VRInitError_Compositor_CreateResolveRenderTextures                       = 473,
    VRInitError_Compositor_CreateComputeResolveRenderTextures                = 474,
    VRInitError_Compositor_CreateDriverDirectModeResolveTextures             = 475,
    VRInitError_Compositor_OpenDriverDirectModeResolveTextures               = 476,
    VRInitError_Compositor_CreateFallbackSyncTexture                         = 477,
    VRInitError_Compositor_ShareFallbackSyncTexture                          = 478,
    VRInitError_Compositor_CreateOverlayIndexBuffer                          = 479,
    VRInitError_Compositor_CreateOverlayVertexBuffer                         = 480,
    VRInitError_Compositor_CreateTextVertexBuffer                            = 481,
    VRInitError_Compositor_CreateTextIndexBuffer                             = 482,
    VRInitError_Compositor_CreateMirrorTextures                              = 483,
    VRInitError_Compositor_CreateLastFrameRenderTexture                      = 484,
    VRInitError_Compositor_CreateMirrorOverlay                               = 485,
    VRInitError_Compositor_FailedToCreateVirtualDisplayBackbuffer            = 486,
    VRInitError_Compositor_DisplayModeNotSupported                           = 487,
    VRInitError_Compositor_CreateOverlayInvalidCall                          = 488,
    VRInitError_Compositor_CreateOverlayAlreadyInitialized                   = 489,
    VRInitError_Compositor_FailedToCreateMailbox                             = 490,
    VRInitError_Compositor_WindowInterfaceIsNull                             = 491,
    VRInitError_Compositor_SystemLayerCreateInstance                         = 492,
    VRInitError_Compositor_SystemLayerCreateSession                          = 493,
    VRInitError_Compositor_CreateInverseDistortUVs                           = 494,
    VRInitError_Compositor_CreateBackbufferDepth                             = 495,
    VRInitError_VendorSpecific_UnableToConnectToOculusRuntime                = 1000,
    VRInitError_VendorSpecific_WindowsNotInDevMode                           = 1001,
    VRInitError_VendorSpecific_OculusLinkNotEnabled                          = 1002,
    VRInitError_VendorSpecific_HmdFound_CantOpenDevice                       = 1101,
    VRInitError_VendorSpecific_HmdFound_UnableToRequestConfigStart           = 1102,
    VRInitError_VendorSpecific_HmdFound_NoStoredConfig                       = 1103,
    VRInitError_VendorSpecific_HmdFound_ConfigTooBig                         = 1104,
    VRInitError_VendorSpecific_HmdFound_ConfigTooSmall                       = 1105,
    VRInitError_VendorSpecific_HmdFound_UnableToInitZLib                     = 1106,
    VRInitError_VendorSpecific_HmdFound_CantReadFirmwareVersion              = 1107,
    VRInitError_VendorSpecific_HmdFound_UnableToSendUserDataStart            = 1108,
    VRInitError_VendorSpecific_HmdFound_UnableToGetUserDataStart             = 1109,
    VRInitError_VendorSpecific_HmdFound_UnableToGetUserDataNext              = 1110,
    VRInitError_VendorSpecific_HmdFound_UserDataAddressRange                 = 1111,
    VRInitError_VendorSpecific_HmdFound_UserDataError                        = 1112,
    VRInitError_VendorSpecific_HmdFound_ConfigFailedSanityCheck              = 1113,
    VRInitError_VendorSpecific_OculusRuntimeBadInstall                       = 1114,
    VRInitError_VendorSpecific_HmdFound_UnexpectedConfiguration_1            = 1115,
    VRInitError_Steam_SteamInstallationNotFound                              = 2000,
    VRInitError_LastError                                                    = 2001,
};

enum ETrackedDeviceClass
{
    TrackedDeviceClass_Invalid           = 0,
    TrackedDeviceClass_HMD               = 1,
    TrackedDeviceClass_Controller        = 2,
    TrackedDeviceClass_GenericTracker    = 3,
    TrackedDeviceClass_TrackingReference = 4,
    TrackedDeviceClass_DisplayRedirect   = 5,
    TrackedDeviceClass_Max               = 6,
};

enum ETrackingResult
{
    TrackingResult_Uninitialized          = 1,
    TrackingResult_Calibrating_InProgress = 100,
    TrackingResult_Calibrating_OutOfRange = 101,
    TrackingResult_Running_OK             = 200,
    TrackingResult_Running_OutOfRange     = 201,
    TrackingResult_Fallback_RotationOnly  = 300,
};

enum ETrackedControllerRole
{
    TrackedControllerRole_Invalid   = 0,
    TrackedControllerRole_LeftHand  = 1,
    TrackedControllerRole_RightHand = 2,
    TrackedControllerRole_OptOut    = 3,
    TrackedControllerRole_Treadmill = 4,
    TrackedControllerRole_Stylus    = 5,
    TrackedControllerRole_Max       = 5,
};

enum ETrackedPropertyError
{
    TrackedProp_Success                    = 0,
    TrackedProp_WrongDataType              = 1,
    TrackedProp_WrongDeviceClass           = 2,
    TrackedProp_BufferTooSmall             = 3,
    TrackedProp_UnknownProperty            = 4,
    TrackedProp_InvalidDevice              = 5,
    TrackedProp_CouldNotContactServer      = 6,
    TrackedProp_ValueNotProvidedByDevice   = 7,
    TrackedProp_StringExceedsMaximumLength = 8,
    TrackedProp_NotYetAvailable            = 9,
    TrackedProp_PermissionDenied           = 10,
    TrackedProp_InvalidOperation           = 11,
    TrackedProp_CannotWriteToWildcards     = 12,
    TrackedProp_IPCReadFailure             = 13,
    TrackedProp_OutOfMemory                = 14,
    TrackedProp_InvalidContainer           = 15,
};

enum ETrackedDeviceProperty
{
    Prop_Invalid                                        = 0,
    Prop_TrackingSystemName_String                      = 1000,
    Prop_ModelNumber_String                             = 1001,
    Prop_SerialNumber_String                            = 1002,
    Prop_RenderModelName_String                         = 1003,
    Prop_WillDriftInYaw_Bool                            = 1004,
    Prop_ManufacturerName_String                        = 1005,
    Prop_TrackingFirmwareVersion_String                 = 1006,
    Prop_HardwareRevision_String                        = 1007,
    Prop_AllWirelessDongleDescriptions_String           = 1008,
    Prop_ConnectedWirelessDongle_String                 = 1009,
    Prop_DeviceIsWireless_Bool                          = 1010,
    Prop_DeviceIsCharging_Bool                          = 1011,
    Prop_DeviceBatteryPercentage_Float                  = 1012,
    Prop_StatusDisplayTransform_Matrix34                = 1013,
    Prop_Firmware_UpdateAvailable_Bool                  = 1014,
    Prop_Firmware_ManualUpdate_Bool                     = 1015,
    Prop_Firmware_ManualUpdateURL_String                = 1016,
    Prop_HardwareRevision_Uint64                        = 1017,
    Prop_FirmwareVersion_Uint64                         = 1018,
    Prop_FPGAVersion_Uint64                             = 1019,
    Prop_VRCVersion_Uint64                              = 1020,
    Prop_RadioVersion_Uint64                            = 1021,
    Prop_DongleVersion_Uint64                           = 1022,
    Prop_BlockServerShutdown_Bool                       = 1023,
    Prop_CanUnifyCoordinateSystemWithHmd_Bool           = 1024,
    Prop_ContainsProximitySensor_Bool                   = 1025,
    Prop_DeviceProvidesBatteryStatus_Bool               = 1026,
    Prop_DeviceCanPowerOff_Bool                         = 1027,
    Prop_Firmware_ProgrammingTarget_String              = 1028,
    Prop_DeviceClass_Int32                              = 1029,
    Prop_HasCamera_Bool                                 = 1030,
    Prop_DriverVersion_String                           = 1031,
    Prop_Firmware_ForceUpdateRequired_Bool              = 1032,
    Prop_ViveSystemButtonFixRequired_Bool               = 1033,
    Prop_ParentDriver_Uint64                            = 1034,
    Prop_ResourceRoot_String                            = 1035,
    Prop_RegisteredDeviceType_String                    = 1036,
    Prop_InputProfilePath_String                        = 1037,
    Prop_NeverTracked_Bool                              = 1038,
    Prop_NumCameras_Int32                               = 1039,
    Prop_CameraFrameLayout_Int32                        = 1040,
    Prop_CameraStreamFormat_Int32                       = 1041,
    Prop_AdditionalDeviceSettingsPath_String            = 1042,
    Prop_Identifiable_Bool                              = 1043,
    Prop_BootloaderVersion_Uint64                       = 1044,
    Prop_AdditionalSystemReportData_String              = 1045,
    Prop_CompositeFirmwareVersion_String                = 1046,
    Prop_Firmware_RemindUpdate_Bool                     = 1047,
    Prop_PeripheralApplicationVersion_Uint64            = 1048,
    Prop_ManufacturerSerialNumber_String                = 1049,
    Prop_ComputedSerialNumber_String                    = 1050,
    Prop_EstimatedDeviceFirstUseTime_Int32              = 1051,
    Prop_DevicePowerUsage_Float                         = 1052,
    Prop_IgnoreMotionForStandby_Bool                    = 1053,
    Prop_ReportsTimeSinceVSync_Bool                     = 2000,
    Prop_SecondsFromVsyncToPhotons_Float                = 2001,
    Prop_DisplayFrequency_Float                         = 2002,
    Prop_UserIpdMeters_Float                            = 2003,
    Prop_CurrentUniverseId_Uint64                       = 2004,
    Prop_PreviousUniverseId_Uint64                      = 2005,
    Prop_DisplayFirmwareVersion_Uint64                  = 2006,
    Prop_IsOnDesktop_Bool                               = 2007,
    Prop_DisplayMCType_Int32                            = 2008,
    Prop_DisplayMCOffset_Float                          = 2009,
    Prop_DisplayMCScale_Float                           = 2010,
    Prop_EdidVendorID_Int32                             = 2011,
    Prop_DisplayMCImageLeft_String                      = 2012,
    Prop_DisplayMCImageRight_String                     = 2013,
    Prop_DisplayGCBlackClamp_Float                      = 2014,
    Prop_EdidProductID_Int32                            = 2015,
    Prop_CameraToHeadTransform_Matrix34                 = 2016,
    Prop_DisplayGCType_Int32                            = 2017,
    Prop_DisplayGCOffset_Float                          = 2018,
    Prop_DisplayGCScale_Float                           = 2019,
    Prop_DisplayGCPrescale_Float                        = 2020,
    Prop_DisplayGCImage_String                          = 2021,
    Prop_LensCenterLeftU_Float                          = 2022,
    Prop_LensCenterLeftV_Float                          = 2023,
    Prop_LensCenterRightU_Float                         = 2024,
    Prop_LensCenterRightV_Float                         = 2025,
    Prop_UserHeadToEyeDepthMeters_Float                 = 2026,
    Prop_CameraFirmwareVersion_Uint64                   = 2027,
    Prop_CameraFirmwareDescription_String               = 2028,
    Prop_DisplayFPGAVersion_Uint64                      = 2029,
    Prop_DisplayBootloaderVersion_Uint64                = 2030,
    Prop_DisplayHardwareVersion_Uint64                  = 2031,
    Prop_AudioFirmwareVersion_Uint64                    = 2032,
    Prop_CameraCompatibilityMode_Int32                  = 2033,
    Prop_ScreenshotHorizontalFieldOfViewDegrees_Float   = 2034,
    Prop_ScreenshotVerticalFieldOfViewDegrees_Float     = 2035,
    Prop_DisplaySuppressed_Bool                         = 2036,
    Prop_DisplayAllowNightMode_Bool                     = 2037,
    Prop_DisplayMCImageWidth_Int32                      = 2038,
    Prop_DisplayMCImageHeight_Int32                     = 2039,
    Prop_DisplayMCImageNumChannels_Int32                = 2040,
    Prop_DisplayMCImageData_Binary                      = 2041,
    Prop_SecondsFromPhotonsToVblank_Float               = 2042,
    Prop_DriverDirectModeSendsVsyncEvents_Bool          = 2043,
    Prop_DisplayDebugMode_Bool                          = 2044,
    Prop_GraphicsAdapterLuid_Uint64                     = 2045,
    Prop_DriverProvidedChaperonePath_String             = 2048,
    Prop_ExpectedTrackingReferenceCount_Int32           = 2049,
    Prop_ExpectedControllerCount_Int32                  = 2050,
    Prop_NamedIconPathControllerLeftDeviceOff_String    = 2051,
    Prop_NamedIconPathControllerRightDeviceOff_String   = 2052,
    Prop_NamedIconPathTrackingReferenceDeviceOff_String = 2053,
    Prop_DoNotApplyPrediction_Bool                      = 2054,
    Prop_CameraToHeadTransforms_Matrix34_Array          = 2055,
    Prop_DistortionMeshResolution_Int32                 = 2056,
    Prop_DriverIsDrawingControllers_Bool                = 2057,
    Prop_DriverRequestsApplicationPause_Bool            = 2058,
    Prop_DriverRequestsReducedRendering_Bool            = 2059,
    Prop_MinimumIpdStepMeters_Float                     = 2060,
    Prop_AudioBridgeFirmwareVersion_Uint64              = 2061,
    Prop_ImageBridgeFirmwareVersion_Uint64              = 2062,
    Prop_ImuToHeadTransform_Matrix34                    = 2063,
    Prop_ImuFactoryGyroBias_Vector3                     = 2064,
    Prop_ImuFactoryGyroScale_Vector3                    = 2065,
    Prop_ImuFactoryAccelerometerBias_Vector3            = 2066,
    Prop_ImuFactoryAccelerometerScale_Vector3           = 2067,
    Prop_ConfigurationIncludesLighthouse20Features_Bool = 2069,
    Prop_AdditionalRadioFeatures_Uint64                 = 2070,
    Prop_CameraWhiteBalance_Vector4_Array               = 2071,
    Prop_CameraDistortionFunction_Int32_Array           = 2072,
    Prop_CameraDistortionCoefficients_Float_Array       = 2073,
    Prop_ExpectedControllerType_String                  = 2074,
    Prop_HmdTrackingStyle_Int32                         = 2075,
    Prop_DriverProvidedChaperoneVisibility_Bool         = 2076,
    Prop_HmdColumnCorrectionSettingPrefix_String        = 2077,
    Prop_CameraSupportsCompatibilityModes_Bool          = 2078,
    Prop_SupportsRoomViewDepthProjection_Bool           = 2079,
    Prop_DisplayAvailableFrameRates_Float_Array         = 2080,
    Prop_DisplaySupportsMultipleFramerates_Bool         = 2081,
    Prop_DisplayColorMultLeft_Vector3                   = 2082,
    Prop_DisplayColorMultRight_Vector3                  = 2083,
    Prop_DisplaySupportsRuntimeFramerateChange_Bool     = 2084,
    Prop_DisplaySupportsAnalogGain_Bool                 = 2085,
    Prop_DisplayMinAnalogGain_Float                     = 2086,
    Prop_DisplayMaxAnalogGain_Float                     = 2087,
    Prop_CameraExposureTime_Float                       = 2088,
    Prop_CameraGlobalGain_Float                         = 2089,
    Prop_DashboardScale_Float                           = 2091,
    Prop_PeerButtonInfo_String                          = 2092,
    Prop_Hmd_SupportsHDR10_Bool                         = 2093,
    Prop_Hmd_EnableParallelRenderCameras_Bool           = 2094,
    Prop_DriverProvidedChaperoneJson_String             = 2095,
    Prop_IpdUIRangeMinMeters_Float                      = 2100,
    Prop_IpdUIRangeMaxMeters_Float                      = 2101,
    Prop_Hmd_SupportsHDCP14LegacyCompat_Bool            = 2102,
    Prop_Hmd_SupportsMicMonitoring_Bool                 = 2103,
    Prop_Hmd_SupportsDisplayPortTrainingMode_Bool       = 2104,
    Prop_Hmd_SupportsRoomViewDirect_Bool                = 2105,
    Prop_Hmd_SupportsAppThrottling_Bool                 = 2106,
    Prop_Hmd_SupportsGpuBusMonitoring_Bool              = 2107,
    Prop_DSCVersion_Int32                               = 2110,
    Prop_DSCSliceCount_Int32                            = 2111,
    Prop_DSCBPPx16_Int32                                = 2112,
    Prop_DriverRequestedMuraCorrectionMode_Int32        = 2200,
    Prop_DriverRequestedMuraFeather_InnerLeft_Int32     = 2201,
    Prop_DriverRequestedMuraFeather_InnerRight_Int32    = 2202,
    Prop_DriverRequestedMuraFeather_InnerTop_Int32      = 2203,
    Prop_DriverRequestedMuraFeather_InnerBottom_Int32   = 2204,
    Prop_DriverRequestedMuraFeather_OuterLeft_Int32     = 2205,
    Prop_DriverRequestedMuraFeather_OuterRight_Int32    = 2206,
    Prop_DriverRequestedMuraFeather_OuterTop_Int32      = 2207,
    Prop_DriverRequestedMuraFeather_OuterBottom_Int32   = 2208,
    Prop_Audio_DefaultPlaybackDeviceId_String           = 2300,
    Prop_Audio_DefaultRecordingDeviceId_String          = 2301,
    Prop_Audio_DefaultPlaybackDeviceVolume_Float        = 2302,
    Prop_Audio_SupportsDualSpeakerAndJackOutput_Bool    = 2303,
    Prop_AttachedDeviceId_String                        = 3000,
    Prop_SupportedButtons_Uint64                        = 3001,
    Prop_Axis0Type_Int32                                = 3002,
    Prop_Axis1Type_Int32                                = 3003,
    Prop_Axis2Type_Int32                                = 3004,
    Prop_Axis3Type_Int32                                = 3005,
    Prop_Axis4Type_Int32                                = 3006,
    Prop_ControllerRoleHint_Int32                       = 3007,
    Prop_FieldOfViewLeftDegrees_Float                   = 4000,
    Prop_FieldOfViewRightDegrees_Float                  = 4001,
    Prop_FieldOfViewTopDegrees_Float                    = 4002,
    Prop_FieldOfViewBottomDegrees_Float                 = 4003,
    Prop_TrackingRangeMinimumMeters_Float               = 4004,
    Prop_TrackingRangeMaximumMeters_Float               = 4005,
    Prop_ModeLabel_String                               = 4006,
    Prop_CanWirelessIdentify_Bool                       = 4007,
    Prop_Nonce_Int32                                    = 4008,
    Prop_IconPathName_String                            = 5000,
    Prop_NamedIconPathDeviceOff_String                  = 5001,
    Prop_NamedIconPathDeviceSearching_String            = 5002,
    Prop_NamedIconPathDeviceSearchingAlert_String       = 5003,
    Prop_NamedIconPathDeviceReady_String                = 5004,
    Prop_NamedIconPathDeviceReadyAlert_String           = 5005,
    Prop_NamedIconPathDeviceNotReady_String             = 5006,
    Prop_NamedIconPathDeviceStandby_String              = 5007,
    Prop_NamedIconPathDeviceAlertLow_String             = 5008,
    Prop_NamedIconPathDeviceStandbyAlert_String         = 5009,
    Prop_DisplayHiddenArea_Binary_Start                 = 5100,
    Prop_DisplayHiddenArea_Binary_End                   = 5150,
    Prop_ParentContainer                                = 5151,
    Prop_OverrideContainer_Uint64                       = 5152,
    Prop_UserConfigPath_String                          = 6000,
    Prop_InstallPath_String                             = 6001,
    Prop_HasDisplayComponent_Bool                       = 6002,
    Prop_HasControllerComponent_Bool                    = 6003,
    Prop_HasCameraComponent_Bool                        = 6004,
    Prop_HasDriverDirectModeComponent_Bool              = 6005,
    Prop_HasVirtualDisplayComponent_Bool                = 6006,
    Prop_HasSpatialAnchorsSupport_Bool                  = 6007,
    Prop_ControllerType_String                          = 7000,
    Prop_ControllerHandSelectionPriority_Int32          = 7002,
    Prop_VendorSpecific_Reserved_Start                  = 10000,
    Prop_VendorSpecific_Reserved_End                    = 10999,
    Prop_TrackedDeviceProperty_Max                      = 1000000,
};

enum EIOBufferError
{
    IOBuffer_Success          = 0,
    IOBuffer_OperationFailed  = 100,
    IOBuffer_InvalidHandle    = 101,
    IOBuffer_InvalidArgument  = 102,
    IOBuffer_PathExists       = 103,
    IOBuffer_PathDoesNotExist = 104,
    IOBuffer_Permission       = 105,
};

enum EIOBufferMode
{
    IOBufferMode_Read   = 0x1,
    IOBufferMode_Write  = 0x2,
    IOBufferMode_Create = 0x200,
};

enum EVRSettingsError
{
    VRSettingsError_None                     = 0,
    VRSettingsError_IPCFailed                = 1,
    VRSettingsError_WriteFailed              = 2,
    VRSettingsError_ReadFailed               = 3,
    VRSettingsError_JsonParseFailed          = 4,
    VRSettingsError_UnsetSettingHasNoDefault = 5,
};

// A selection: the events a driver host or a settings utility deals with.
enum EVREventType
{
    VREvent_None                                = 0,
    VREvent_TrackedDeviceActivated              = 100,
    VREvent_TrackedDeviceDeactivated            = 101,
    VREvent_TrackedDeviceUpdated                = 102,
    VREvent_TrackedDeviceUserInteractionStarted = 103,
    VREvent_TrackedDeviceUserInteractionEnded   = 104,
    VREvent_IpdChanged                          = 105,
    VREvent_EnterStandbyMode                    = 106,
    VREvent_LeaveStandbyMode                    = 107,
    VREvent_TrackedDeviceRoleChanged            = 108,
    VREvent_WatchdogWakeUpRequested             = 109,
    VREvent_LensDistortionChanged               = 110,
    VREvent_PropertyChanged                     = 111,
    VREvent_WirelessDisconnect                  = 112,
    VREvent_WirelessReconnect                   = 113,
    VREvent_ButtonPress                         = 200,
    VREvent_ButtonUnpress                       = 201,
    VREvent_ButtonTouch                         = 202,
    VREvent_ButtonUntouch                       = 203,
    VREvent_Quit                                = 700,
    VREvent_ProcessQuit                         = 701,
    VREvent_QuitAcknowledged                    = 703,
    VREvent_DriverRequestedQuit                 = 704,
    VREvent_RestartRequested                    = 705,
    VREvent_ChaperoneDataHasChanged             = 800,
    VREvent_ChaperoneUniverseHasChanged         = 801,
    VREvent_ChaperoneSettingsHaveChanged        = 803,
    VREvent_SeatedZeroPoseReset                 = 804,
    VREvent_StandingZeroPoseReset               = 808,
    VREvent_SteamVRSectionSettingChanged        = 857,
    VREvent_TrackersSectionSettingChanged       = 866,
    VREvent_OtherSectionSettingChanged          = 871,
    VREvent_StatusUpdate                        = 900,
    VREvent_ProcessConnected                    = 1306,
    VREvent_ProcessDisconnected                 = 1307,
    VREvent_Input_HapticVibration               = 1700,
    VREvent_Input_TrackerActivated              = 1706,
    VREvent_VendorSpecific_Reserved_Start       = 10000,
    VREvent_VendorSpecific_Reserved_End         = 19999,
};

enum EVRApplicationType
{
    VRApplication_Other          = 0,
    VRApplication_Scene          = 1,
    VRApplication_Overlay        = 2,
    VRApplication_Background     = 3,
    VRApplication_Utility        = 4,
    VRApplication_VRMonitor      = 5,
    VRApplication_SteamWatchdog  = 6,
    VRApplication_Bootstrapper   = 7,
    VRApplication_WebHelper      = 8,
    VRApplication_OpenXRInstance = 9,
    VRApplication_OpenXRScene    = 10,
    VRApplication_OpenXROverlay  = 11,
    VRApplication_Prism          = 12,
    VRApplication_RoomView       = 13,
    VRApplication_Max            = 14,
};

enum EVRButtonId
{
    k_EButton_System                   = 0,
    k_EButton_ApplicationMenu          = 1,
    k_EButton_Grip                     = 2,
    k_EButton_DPad_Left                = 3,
    k_EButton_DPad_Up                  = 4,
    k_EButton_DPad_Right               = 5,
    k_EButton_DPad_Down                = 6,
    k_EButton_A                        = 7,
    k_EButton_ProximitySensor          = 31,
    k_EButton_Axis0                    = 32,
    k_EButton_Axis1                    = 33,
    k_EButton_Axis2                    = 34,
    k_EButton_Axis3                    = 35,
    k_EButton_Axis4                    = 36,
    k_EButton_SteamVR_Touchpad         = 32,
    k_EButton_SteamVR_Trigger          = 33,
    k_EButton_Dashboard_Back           = 2,
    k_EButton_IndexController_A        = 2,
    k_EButton_IndexController_B        = 1,
    k_EButton_IndexController_JoyStick = 35,
    k_EButton_Reserved0                = 50,
    k_EButton_Reserved1                = 51,
    k_EButton_Max                      = 64,
};

enum EVREye
{
    Eye_Left  = 0,
    Eye_Right = 1,
};

enum ETrackingUniverseOrigin
{
    TrackingUniverseSeated             = 0,
    TrackingUniverseStanding           = 1,
    TrackingUniverseRawAndUncalibrated = 2,
};

enum EDeviceActivityLevel
{
    k_EDeviceActivityLevel_Unknown                 = -1,
    k_EDeviceActivityLevel_Idle                    = 0,
    k_EDeviceActivityLevel_UserInteraction         = 1,
    k_EDeviceActivityLevel_UserInteraction_Timeout = 2,
    k_EDeviceActivityLevel_Standby                 = 3,
    k_EDeviceActivityLevel_Idle_Timeout            = 4,
};

enum EHiddenAreaMeshType
{
    k_eHiddenAreaMesh_Standard = 0,
    k_eHiddenAreaMesh_Inverse  = 1,
    k_eHiddenAreaMesh_LineLoop = 2,
    k_eHiddenAreaMesh_Max      = 3,
};

enum EVRControllerAxisType
{
    k_eControllerAxis_None     = 0,
    k_eControllerAxis_TrackPad = 1,
    k_eControllerAxis_Joystick = 2,
    k_eControllerAxis_Trigger  = 3,
};

enum EVRFirmwareError
{
    VRFirmwareError_None    = 0,
    VRFirmwareError_Success = 1,
    VRFirmwareError_Fail    = 2,
};

enum ETextureType
{
    TextureType_Invalid          = -1,
    TextureType_DirectX          = 0,
    TextureType_OpenGL           = 1,
    TextureType_Vulkan           = 2,
    TextureType_IOSurface        = 3,
    TextureType_DirectX12        = 4,
    TextureType_DXGISharedHandle = 5,
    TextureType_Metal            = 6,
};

// Bits of ImuSample_t::unOffScaleFlags.
enum Imu_OffScaleFlags
{
    OffScale_AccelX = 0x1,
    OffScale_AccelY = 0x2,
    OffScale_AccelZ = 0x4,
    OffScale_GyroX  = 0x8,
    OffScale_GyroY  = 0x10,
    OffScale_GyroZ  = 0x20,
};

enum EVRState
{
    VRState_Undefined       = -1,
    VRState_Off             = 0,
    VRState_Searching       = 1,
    VRState_Searching_Alert = 2,
    VRState_Ready           = 3,
    VRState_Ready_Alert     = 4,
    VRState_NotReady        = 5,
    VRState_Standby         = 6,
    VRState_Ready_Alert_Low = 7,
};

enum EVRInputError
{
    VRInputError_None                     = 0,
    VRInputError_NameNotFound             = 1,
    VRInputError_WrongType                = 2,
    VRInputError_InvalidHandle            = 3,
    VRInputError_InvalidParam             = 4,
    VRInputError_NoSteam                  = 5,
    VRInputError_MaxCapacityReached       = 6,
    VRInputError_IPCError                 = 7,
    VRInputError_NoActiveActionSet        = 8,
    VRInputError_InvalidDevice            = 9,
    VRInputError_InvalidSkeleton          = 10,
    VRInputError_InvalidBoneCount         = 11,
    VRInputError_InvalidCompressedData    = 12,
    VRInputError_NoData                   = 13,
    VRInputError_BufferTooSmall           = 14,
    VRInputError_MismatchedActionManifest = 15,
    VRInputError_MissingSkeletonData      = 16,
    VRInputError_InvalidBoneIndex         = 17,
    VRInputError_InvalidPriority          = 18,
    VRInputError_PermissionDenied         = 19,
    VRInputError_InvalidRenderModel       = 20,
};

enum EVRSkeletalTrackingLevel
{
    VRSkeletalTracking_Estimated  = 0,
    VRSkeletalTracking_Partial    = 1,
    VRSkeletalTracking_Full       = 2,
    VRSkeletalTrackingLevel_Count = 3,
    VRSkeletalTrackingLevel_Max   = 2,
};

enum EVRSkeletalMotionRange
{
    VRSkeletalMotionRange_WithController    = 0,
    VRSkeletalMotionRange_WithoutController = 1,
};

// ---------------------------------------------------------------------------------------
// Records

#pragma pack(push, 8)

// Row-major, m[row][column]; translation in column 3. Right-handed, +y up, -z forward, metres.
struct HmdMatrix34_t
{
    float m[3][4];
};

struct HmdMatrix44_t
{
    float m[4][4];
};

struct HmdVector2_t
{
    float v[2];
};

struct HmdVector3_t
{
    float v[3];
};

struct HmdVector4_t
{
    float v[4];
};

struct HmdVector3d_t
{
    double v[3];
};

// w first in memory.
struct HmdQuaternion_t
{
    double w, x, y, z;
};

struct HmdQuaternionf_t
{
    float w, x, y, z;
};

struct HmdRect2_t
{
    HmdVector2_t vTopLeft;
    HmdVector2_t vBottomRight;
};

struct DistortionCoordinates_t
{
    float rfRed[2];
    float rfGreen[2];
    float rfBlue[2];
};

struct TrackedDevicePose_t
{
    HmdMatrix34_t mDeviceToAbsoluteTracking;
    HmdVector3_t vVelocity;
    HmdVector3_t vAngularVelocity;
    ETrackingResult eTrackingResult;
    bool bPoseIsValid;
    bool bDeviceIsConnected;
};

struct ImuSample_t
{
    double fSampleTime;
    HmdVector3d_t vAccel;
    HmdVector3d_t vGyro;
    uint32_t unOffScaleFlags;
};

struct VRBoneTransform_t
{
    HmdVector4_t position;
    HmdQuaternionf_t orientation;
};

struct HiddenAreaMesh_t
{
    const HmdVector2_t* pVertexData;
    uint32_t unTriangleCount;
};

struct VRControllerAxis_t
{
    float x;
    float y;
};

struct VREvent_Reserved_t
{
    uint64_t reserved0;
    uint64_t reserved1;
    uint64_t reserved2;
    uint64_t reserved3;
    uint64_t reserved4;
    uint64_t reserved5;
};

// button holds an EVRButtonId.
struct VREvent_Controller_t
{
    uint32_t button;
};

struct VREvent_Process_t
{
    uint32_t pid;
    uint32_t oldPid;
    bool bForced;
    bool bConnectionLost;
};

// statusState holds an EVRState.
struct VREvent_Status_t
{
    uint32_t statusState;
};

struct VREvent_Property_t
{
    PropertyContainerHandle_t container;
    ETrackedDeviceProperty prop;
};

// Only the members this project reads; reserved alone fixes size and alignment.
typedef union
{
    VREvent_Reserved_t reserved;
    VREvent_Controller_t controller;
    VREvent_Process_t process;
    VREvent_Status_t status;
    VREvent_Property_t property;
} VREvent_Data_t;

#pragma pack(pop)

// Kept mis-packed on Linux/macOS for compatibility with existing binaries; natural on
// Windows, MinGW included.
#if defined(__linux__) || defined(__APPLE__)
#pragma pack(push, 4)
#endif

// eventType holds an EVREventType.
struct VREvent_t
{
    uint32_t eventType;
    TrackedDeviceIndex_t trackedDeviceIndex;
    float eventAgeSeconds;
    VREvent_Data_t data;
};

struct VRControllerState001_t
{
    uint32_t unPacketNum;
    uint64_t ulButtonPressed;
    uint64_t ulButtonTouched;
    VRControllerAxis_t rAxis[k_unControllerStateAxisCount];
};

#if defined(__linux__) || defined(__APPLE__)
#pragma pack(pop)
#endif

typedef VRControllerState001_t VRControllerState_t;

// Only passed by pointer here.
struct Compositor_FrameTiming;

// ---------------------------------------------------------------------------------------
// Interfaces of both headers. Slot order is the ABI: do not reorder, insert or overload.

class IVRSettings
{
public:
    virtual const char* GetSettingsErrorNameFromEnum(EVRSettingsError eError) = 0;
    virtual void SetBool(const char* pchSection, const char* pchSettingsKey, bool bValue,
                         EVRSettingsError* peError = nullptr) = 0;
    virtual void SetInt32(const char* pchSection, const char* pchSettingsKey, int32_t nValue,
                          EVRSettingsError* peError = nullptr) = 0;
    virtual void SetFloat(const char* pchSection, const char* pchSettingsKey, float flValue,
                          EVRSettingsError* peError = nullptr) = 0;
    virtual void SetString(const char* pchSection, const char* pchSettingsKey, const char* pchValue,
                           EVRSettingsError* peError = nullptr) = 0;
    virtual bool GetBool(const char* pchSection, const char* pchSettingsKey, EVRSettingsError* peError = nullptr) = 0;
    virtual int32_t GetInt32(const char* pchSection, const char* pchSettingsKey,
                             EVRSettingsError* peError = nullptr) = 0;
    virtual float GetFloat(const char* pchSection, const char* pchSettingsKey, EVRSettingsError* peError = nullptr) = 0;
    virtual void GetString(const char* pchSection, const char* pchSettingsKey, char* pchValue, uint32_t unValueLen,
                           EVRSettingsError* peError = nullptr) = 0;
    virtual void RemoveSection(const char* pchSection, EVRSettingsError* peError = nullptr) = 0;
    virtual void RemoveKeyInSection(const char* pchSection, const char* pchSettingsKey,
                                    EVRSettingsError* peError = nullptr) = 0;
};

static const char* const IVRSettings_Version = "IVRSettings_003";

class IVRIOBuffer
{
public:
    virtual EIOBufferError Open(const char* pchPath, EIOBufferMode mode, uint32_t unElementSize, uint32_t unElements,
                                IOBufferHandle_t* pulBuffer) = 0;
    virtual EIOBufferError Close(IOBufferHandle_t ulBuffer) = 0;
    virtual EIOBufferError Read(IOBufferHandle_t ulBuffer, void* pDst, uint32_t unBytes, uint32_t* punRead) = 0;
    virtual EIOBufferError Write(IOBufferHandle_t ulBuffer, void* pSrc, uint32_t unBytes) = 0;
    virtual PropertyContainerHandle_t PropertyContainer(IOBufferHandle_t ulBuffer) = 0;
    virtual bool HasReaders(IOBufferHandle_t ulBuffer) = 0;
};

static const char* const IVRIOBuffer_Version = "IVRIOBuffer_002";

class IVRDriverManager
{
public:
    virtual uint32_t GetDriverCount() const = 0;
    // Returns the size needed including the NUL.
    virtual uint32_t GetDriverName(DriverId_t nDriver, char* pchValue, uint32_t unBufferSize) = 0;
    virtual DriverHandle_t GetDriverHandle(const char* pchDriverName) = 0;
    virtual bool IsEnabled(DriverId_t nDriver) const = 0;
};

static const char* const IVRDriverManager_Version = "IVRDriverManager_001";

class IVRResources
{
public:
    virtual uint32_t LoadSharedResource(const char* pchResourceName, char* pchBuffer, uint32_t unBufferLen) = 0;
    virtual uint32_t GetResourceFullPath(const char* pchResourceName, const char* pchResourceTypeDirectory,
                                         char* pchPathBuffer, uint32_t unBufferLen) = 0;
};

static const char* const IVRResources_Version = "IVRResources_001";


} // namespace vr

#include "openvr_common_layout.h"

#endif // HALVEX_OPENVR_COMMON_H
