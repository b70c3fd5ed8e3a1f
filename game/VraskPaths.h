#pragma once

// Where the door keeps its data on the boot volume. Fixed: the door takes
// no configuration.
#define kVraskFolder		"/boot/home/Zenbo/doors/vrask/"
#define kUsersFolder		kVraskFolder "users/"
#define kMonstersFile		kVraskFolder "monsters"
#define kWeaponsFile		kVraskFolder "weapons"
#define kArmorFile			kVraskFolder "armor"
