#pragma once
// Model of the unit's firmware (being written).
