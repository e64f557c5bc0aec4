#include "vrhost/interfaces/property_store.h"

#include "vrhost/host/text_format.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace vrhost {
namespace {

struct sPropertyName {
    int id;
    const char* name;
};

const sPropertyName kPropertyNames[] = {
    {0, "Prop_Invalid"},
    {1000, "Prop_TrackingSystemName_String"},
    {1001, "Prop_ModelNumber_String"},
    {1002, "Prop_SerialNumber_String"},
    {1003, "Prop_RenderModelName_String"},
    {1004, "Prop_WillDriftInYaw_Bool"},
    {1005, "Prop_ManufacturerName_String"},
    {1006, "Prop_TrackingFirmwareVersion_String"},
    {1007, "Prop_HardwareRevision_String"},
    {1008, "Prop_AllWirelessDongleDescriptions_String"},
    {1009, "Prop_ConnectedWirelessDongle_String"},
    {1010, "Prop_DeviceIsWireless_Bool"},
    {1011, "Prop_DeviceIsCharging_Bool"},
    {1012, "Prop_DeviceBatteryPercentage_Float"},
    {1013, "Prop_StatusDisplayTransform_Matrix34"},
    {1014, "Prop_Firmware_UpdateAvailable_Bool"},
    {1015, "Prop_Firmware_ManualUpdate_Bool"},
    {1016, "Prop_Firmware_ManualUpdateURL_String"},
    {1017, "Prop_HardwareRevision_Uint64"},
    {1018, "Prop_FirmwareVersion_Uint64"},
    {1019, "Prop_FPGAVersion_Uint64"},
    {1020, "Prop_VRCVersion_Uint64"},
    {1021, "Prop_RadioVersion_Uint64"},
    {1022, "Prop_DongleVersion_Uint64"},
    {1023, "Prop_BlockServerShutdown_Bool"},
    {1024, "Prop_CanUnifyCoordinateSystemWithHmd_Bool"},
    {1025, "Prop_ContainsProximitySensor_Bool"},
    {1026, "Prop_DeviceProvidesBatteryStatus_Bool"},
    {1027, "Prop_DeviceCanPowerOff_Bool"},
    {1028, "Prop_Firmware_ProgrammingTarget_String"},
    {1029, "Prop_DeviceClass_Int32"},
    {1030, "Prop_HasCamera_Bool"},
    {1031, "Prop_DriverVersion_String"},
    {1032, "Prop_Firmware_ForceUpdateRequired_Bool"},
    {1033, "Prop_ViveSystemButtonFixRequired_Bool"},
    {1034, "Prop_ParentDriver_Uint64"},
    {1035, "Prop_ResourceRoot_String"},
    {1036, "Prop_RegisteredDeviceType_String"},
    {1037, "Prop_InputProfilePath_String"},
    {1038, "Prop_NeverTracked_Bool"},
    {1039, "Prop_NumCameras_Int32"},
    {1040, "Prop_CameraFrameLayout_Int32"},
    {1041, "Prop_CameraStreamFormat_Int32"},
    {1042, "Prop_AdditionalDeviceSettingsPath_String"},
    {1043, "Prop_Identifiable_Bool"},
    {1044, "Prop_BootloaderVersion_Uint64"},
    {1045, "Prop_AdditionalSystemReportData_String"},
    {1046, "Prop_CompositeFirmwareVersion_String"},
    {1047, "Prop_Firmware_RemindUpdate_Bool"},
    {1048, "Prop_PeripheralApplicationVersion_Uint64"},
    {1049, "Prop_ManufacturerSerialNumber_String"},
    {1050, "Prop_ComputedSerialNumber_String"},
    {1051, "Prop_EstimatedDeviceFirstUseTime_Int32"},
    {1052, "Prop_DevicePowerUsage_Float"},
    {1053, "Prop_IgnoreMotionForStandby_Bool"},
    {2000, "Prop_ReportsTimeSinceVSync_Bool"},
    {2001, "Prop_SecondsFromVsyncToPhotons_Float"},
    {2002, "Prop_DisplayFrequency_Float"},
    {2003, "Prop_UserIpdMeters_Float"},
    {2004, "Prop_CurrentUniverseId_Uint64"},
    {2005, "Prop_PreviousUniverseId_Uint64"},
    {2006, "Prop_DisplayFirmwareVersion_Uint64"},
    {2007, "Prop_IsOnDesktop_Bool"},
    {2008, "Prop_DisplayMCType_Int32"},
    {2009, "Prop_DisplayMCOffset_Float"},
    {2010, "Prop_DisplayMCScale_Float"},
    {2011, "Prop_EdidVendorID_Int32"},
    {2012, "Prop_DisplayMCImageLeft_String"},
    {2013, "Prop_DisplayMCImageRight_String"},
    {2014, "Prop_DisplayGCBlackClamp_Float"},
    {2015, "Prop_EdidProductID_Int32"},
    {2016, "Prop_CameraToHeadTransform_Matrix34"},
    {2017, "Prop_DisplayGCType_Int32"},
    {2018, "Prop_DisplayGCOffset_Float"},
    {2019, "Prop_DisplayGCScale_Float"},
    {2020, "Prop_DisplayGCPrescale_Float"},
    {2021, "Prop_DisplayGCImage_String"},
    {2022, "Prop_LensCenterLeftU_Float"},
    {2023, "Prop_LensCenterLeftV_Float"},
    {2024, "Prop_LensCenterRightU_Float"},
    {2025, "Prop_LensCenterRightV_Float"},
    {2026, "Prop_UserHeadToEyeDepthMeters_Float"},
    {2027, "Prop_CameraFirmwareVersion_Uint64"},
    {2028, "Prop_CameraFirmwareDescription_String"},
    {2029, "Prop_DisplayFPGAVersion_Uint64"},
    {2030, "Prop_DisplayBootloaderVersion_Uint64"},
    {2031, "Prop_DisplayHardwareVersion_Uint64"},
    {2032, "Prop_AudioFirmwareVersion_Uint64"},
    {2033, "Prop_CameraCompatibilityMode_Int32"},
    {2034, "Prop_ScreenshotHorizontalFieldOfViewDegrees_Float"},
    {2035, "Prop_ScreenshotVerticalFieldOfViewDegrees_Float"},
    {2036, "Prop_DisplaySuppressed_Bool"},
    {2037, "Prop_DisplayAllowNightMode_Bool"},
    {2038, "Prop_DisplayMCImageWidth_Int32"},
    {2039, "Prop_DisplayMCImageHeight_Int32"},
    {2040, "Prop_DisplayMCImageNumChannels_Int32"},
    {2041, "Prop_DisplayMCImageData_Binary"},
    {2042, "Prop_SecondsFromPhotonsToVblank_Float"},
    {2043, "Prop_DriverDirectModeSendsVsyncEvents_Bool"},
    {2044, "Prop_DisplayDebugMode_Bool"},
    {2045, "Prop_GraphicsAdapterLuid_Uint64"},
    {2048, "Prop_DriverProvidedChaperonePath_String"},
    {2049, "Prop_ExpectedTrackingReferenceCount_Int32"},
    {2050, "Prop_ExpectedControllerCount_Int32"},
    {2051, "Prop_NamedIconPathControllerLeftDeviceOff_String"},
    {2052, "Prop_NamedIconPathControllerRightDeviceOff_String"},
    {2053, "Prop_NamedIconPathTrackingReferenceDeviceOff_String"},
    {2054, "Prop_DoNotApplyPrediction_Bool"},
    {2055, "Prop_CameraToHeadTransforms_Matrix34_Array"},
    {2056, "Prop_DistortionMeshResolution_Int32"},
    {2057, "Prop_DriverIsDrawingControllers_Bool"},
    {2058, "Prop_DriverRequestsApplicationPause_Bool"},
    {2059, "Prop_DriverRequestsReducedRendering_Bool"},
    {2060, "Prop_MinimumIpdStepMeters_Float"},
    {2061, "Prop_AudioBridgeFirmwareVersion_Uint64"},
    {2062, "Prop_ImageBridgeFirmwareVersion_Uint64"},
    {2063, "Prop_ImuToHeadTransform_Matrix34"},
    {2064, "Prop_ImuFactoryGyroBias_Vector3"},
    {2065, "Prop_ImuFactoryGyroScale_Vector3"},
    {2066, "Prop_ImuFactoryAccelerometerBias_Vector3"},
    {2067, "Prop_ImuFactoryAccelerometerScale_Vector3"},
    {2069, "Prop_ConfigurationIncludesLighthouse20Features_Bool"},
    {2070, "Prop_AdditionalRadioFeatures_Uint64"},
    {2071, "Prop_CameraWhiteBalance_Vector4_Array"},
    {2072, "Prop_CameraDistortionFunction_Int32_Array"},
    {2073, "Prop_CameraDistortionCoefficients_Float_Array"},
    {2074, "Prop_ExpectedControllerType_String"},
    {2075, "Prop_HmdTrackingStyle_Int32"},
    {2076, "Prop_DriverProvidedChaperoneVisibility_Bool"},
    {2077, "Prop_HmdColumnCorrectionSettingPrefix_String"},
    {2078, "Prop_CameraSupportsCompatibilityModes_Bool"},
    {2079, "Prop_SupportsRoomViewDepthProjection_Bool"},
    {2080, "Prop_DisplayAvailableFrameRates_Float_Array"},
    {2081, "Prop_DisplaySupportsMultipleFramerates_Bool"},
    {2082, "Prop_DisplayColorMultLeft_Vector3"},
    {2083, "Prop_DisplayColorMultRight_Vector3"},
    {2084, "Prop_DisplaySupportsRuntimeFramerateChange_Bool"},
    {2085, "Prop_DisplaySupportsAnalogGain_Bool"},
    {2086, "Prop_DisplayMinAnalogGain_Float"},
    {2087, "Prop_DisplayMaxAnalogGain_Float"},
    {2088, "Prop_CameraExposureTime_Float"},
    {2089, "Prop_CameraGlobalGain_Float"},
    {2091, "Prop_DashboardScale_Float"},
    {2092, "Prop_PeerButtonInfo_String"},
    {2093, "Prop_Hmd_SupportsHDR10_Bool"},
    {2094, "Prop_Hmd_EnableParallelRenderCameras_Bool"},
    {2095, "Prop_DriverProvidedChaperoneJson_String"},
    {2100, "Prop_IpdUIRangeMinMeters_Float"},
    {2101, "Prop_IpdUIRangeMaxMeters_Float"},
    {2102, "Prop_Hmd_SupportsHDCP14LegacyCompat_Bool"},
    {2103, "Prop_Hmd_SupportsMicMonitoring_Bool"},
    {2104, "Prop_Hmd_SupportsDisplayPortTrainingMode_Bool"},
    {2105, "Prop_Hmd_SupportsRoomViewDirect_Bool"},
    {2106, "Prop_Hmd_SupportsAppThrottling_Bool"},
    {2107, "Prop_Hmd_SupportsGpuBusMonitoring_Bool"},
    {2110, "Prop_DSCVersion_Int32"},
    {2111, "Prop_DSCSliceCount_Int32"},
    {2112, "Prop_DSCBPPx16_Int32"},
    {2200, "Prop_DriverRequestedMuraCorrectionMode_Int32"},
    {2201, "Prop_DriverRequestedMuraFeather_InnerLeft_Int32"},
    {2202, "Prop_DriverRequestedMuraFeather_InnerRight_Int32"},
    {2203, "Prop_DriverRequestedMuraFeather_InnerTop_Int32"},
    {2204, "Prop_DriverRequestedMuraFeather_InnerBottom_Int32"},
    {2205, "Prop_DriverRequestedMuraFeather_OuterLeft_Int32"},
    {2206, "Prop_DriverRequestedMuraFeather_OuterRight_Int32"},
    {2207, "Prop_DriverRequestedMuraFeather_OuterTop_Int32"},
    {2208, "Prop_DriverRequestedMuraFeather_OuterBottom_Int32"},
    {2300, "Prop_Audio_DefaultPlaybackDeviceId_String"},
    {2301, "Prop_Audio_DefaultRecordingDeviceId_String"},
    {2302, "Prop_Audio_DefaultPlaybackDeviceVolume_Float"},
    {2303, "Prop_Audio_SupportsDualSpeakerAndJackOutput_Bool"},
    {3000, "Prop_AttachedDeviceId_String"},
    {3001, "Prop_SupportedButtons_Uint64"},
    {3002, "Prop_Axis0Type_Int32"},
    {3003, "Prop_Axis1Type_Int32"},
    {3004, "Prop_Axis2Type_Int32"},
    {3005, "Prop_Axis3Type_Int32"},
    {3006, "Prop_Axis4Type_Int32"},
    {3007, "Prop_ControllerRoleHint_Int32"},
    {4000, "Prop_FieldOfViewLeftDegrees_Float"},
    {4001, "Prop_FieldOfViewRightDegrees_Float"},
    {4002, "Prop_FieldOfViewTopDegrees_Float"},
    {4003, "Prop_FieldOfViewBottomDegrees_Float"},
    {4004, "Prop_TrackingRangeMinimumMeters_Float"},
    {4005, "Prop_TrackingRangeMaximumMeters_Float"},
    {4006, "Prop_ModeLabel_String"},
    {4007, "Prop_CanWirelessIdentify_Bool"},
    {4008, "Prop_Nonce_Int32"},
    {5000, "Prop_IconPathName_String"},
    {5001, "Prop_NamedIconPathDeviceOff_String"},
    {5002, "Prop_NamedIconPathDeviceSearching_String"},
    {5003, "Prop_NamedIconPathDeviceSearchingAlert_String"},
    {5004, "Prop_NamedIconPathDeviceReady_String"},
    {5005, "Prop_NamedIconPathDeviceReadyAlert_String"},
    {5006, "Prop_NamedIconPathDeviceNotReady_String"},
    {5007, "Prop_NamedIconPathDeviceStandby_String"},
    {5008, "Prop_NamedIconPathDeviceAlertLow_String"},
    {5009, "Prop_NamedIconPathDeviceStandbyAlert_String"},
    {5100, "Prop_DisplayHiddenArea_Binary_Start"},
    {5150, "Prop_DisplayHiddenArea_Binary_End"},
    {5151, "Prop_ParentContainer"},
    {5152, "Prop_OverrideContainer_Uint64"},
    {6000, "Prop_UserConfigPath_String"},
    {6001, "Prop_InstallPath_String"},
    {6002, "Prop_HasDisplayComponent_Bool"},
    {6003, "Prop_HasControllerComponent_Bool"},
    {6004, "Prop_HasCameraComponent_Bool"},
    {6005, "Prop_HasDriverDirectModeComponent_Bool"},
    {6006, "Prop_HasVirtualDisplayComponent_Bool"},
    {6007, "Prop_HasSpatialAnchorsSupport_Bool"},
    {7000, "Prop_ControllerType_String"},
    {7002, "Prop_ControllerHandSelectionPriority_Int32"},
    {10000, "Prop_VendorSpecific_Reserved_Start"},
    {10999, "Prop_VendorSpecific_Reserved_End"},
    {1000000, "Prop_TrackedDeviceProperty_Max"},
};

template <typename T>
bool ReadAs(const sPropertyRecord& record, T& value) {
    if (record.bytes.size() != sizeof(T)) return false;
    std::memcpy(&value, record.bytes.data(), sizeof(T));
    return true;
}

std::string FloatList(const sPropertyRecord& record, size_t count) {
    if (record.bytes.size() != count * sizeof(float)) return {};
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        float f;
        std::memcpy(&f, record.bytes.data() + i * sizeof(float), sizeof(float));
        if (i) out += ',';
        out += FormatNumber(f);
    }
    return out;
}

std::string HexBytes(const sPropertyRecord& record) {
    std::string out = "0x";
    char digits[3];
    for (const uint8_t b : record.bytes) {
        std::snprintf(digits, sizeof(digits), "%02x", b);
        out += digits;
    }
    return out;
}

}  // namespace

std::string PropertyName(vr::ETrackedDeviceProperty prop) {
    for (const sPropertyName& entry : kPropertyNames) {
        if (entry.id == static_cast<int>(prop)) return entry.name;
    }
    return "Prop_" + std::to_string(static_cast<int>(prop));
}

const char* PropertyTypeName(vr::PropertyTypeTag_t tag) {
    switch (tag) {
        case vr::k_unFloatPropertyTag: return "float";
        case vr::k_unInt32PropertyTag: return "int32";
        case vr::k_unUint64PropertyTag: return "uint64";
        case vr::k_unBoolPropertyTag: return "bool";
        case vr::k_unStringPropertyTag: return "string";
        case vr::k_unErrorPropertyTag: return "error";
        case vr::k_unDoublePropertyTag: return "double";
        case vr::k_unHmdMatrix34PropertyTag: return "matrix34";
        case vr::k_unHmdMatrix44PropertyTag: return "matrix44";
        case vr::k_unHmdVector3PropertyTag: return "vector3";
        case vr::k_unHmdVector4PropertyTag: return "vector4";
        case vr::k_unHmdVector2PropertyTag: return "vector2";
        case vr::k_unInvalidPropertyTag: return "none";
        default: return "tag";
    }
}

std::string FormatPropertyValue(const sPropertyRecord& record) {
    std::string text;
    switch (record.tag) {
        case vr::k_unStringPropertyTag: {
            // Up to the first NUL; a value written without its terminator still prints safely.
            const auto* begin = reinterpret_cast<const char*>(record.bytes.data());
            const auto* nul = static_cast<const char*>(std::memchr(begin, 0, record.bytes.size()));
            return QuoteText(std::string(begin, nul ? nul : begin + record.bytes.size()));
        }
        case vr::k_unFloatPropertyTag: {
            float v;
            if (ReadAs(record, v)) return FormatNumber(v);
            break;
        }
        case vr::k_unDoublePropertyTag: {
            double v;
            if (ReadAs(record, v)) return FormatNumber(v);
            break;
        }
        case vr::k_unInt32PropertyTag: {
            int32_t v;
            if (ReadAs(record, v)) return std::to_string(v);
            break;
        }
        case vr::k_unUint64PropertyTag: {
            uint64_t v;
            if (ReadAs(record, v)) {
                char buffer[24];
                std::snprintf(buffer, sizeof(buffer), "0x%016" PRIX64, v);
                return buffer;
            }
            break;
        }
        case vr::k_unBoolPropertyTag: {
            if (record.bytes.size() == 1) return record.bytes[0] ? "true" : "false";
            break;
        }
        case vr::k_unHmdVector2PropertyTag: text = FloatList(record, 2); break;
        case vr::k_unHmdVector3PropertyTag: text = FloatList(record, 3); break;
        case vr::k_unHmdVector4PropertyTag: text = FloatList(record, 4); break;
        case vr::k_unHmdMatrix34PropertyTag: text = FloatList(record, 12); break;
        case vr::k_unHmdMatrix44PropertyTag: text = FloatList(record, 16); break;
        default: break;
    }
    return text.empty() ? HexBytes(record) : text;
}

}  // namespace vrhost
