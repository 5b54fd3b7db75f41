# Reads shop models back with Blender's own glTF importer, an
# independent reader of what kestrova-render wrote, and prints one JSON
# line a file: its extents in the file's own axes (+Y up, front +Z), and
# the colour of its texture at the middle of its largest face that looks
# towards +Z (the front) and towards -Z (the back).
#   blender -b --factory-startup --python blender_shop.py -- FILE...
import json
import os
import sys

import bpy
import mathutils
import numpy

# Blender 3.4's glTF importer still names numpy.bool, which Debian's numpy
# no longer has: the alias it meant.
if 'bool' not in numpy.__dict__:
    numpy.bool = bool


def texture_colour(obj, polygon):
    mesh = obj.data
    if not mesh.uv_layers.active or not obj.material_slots:
        return None
    uv = mathutils.Vector((0.0, 0.0))
    for loop in polygon.loop_indices:
        uv += mesh.uv_layers.active.data[loop].uv
    uv /= len(polygon.loop_indices)
    material = obj.material_slots[polygon.material_index].material
    image = None
    for node in material.node_tree.nodes:
        if node.type == 'TEX_IMAGE' and node.image:
            image = node.image
    if image is None:
        return None
    width, height = image.size
    x = min(width - 1, max(0, int(uv.x * width)))
    y = min(height - 1, max(0, int(uv.y * height)))  # Blender's images start at the bottom
    pixels = image.pixels[:]
    at = (y * width + x) * 4
    return [round(pixels[at + c] * 255) for c in range(3)]


def clear(obj, polygon):
    """True for a polygon of a material the importer made see-through
    (KHR_materials_transmission)."""
    if not obj.material_slots:
        return False
    material = obj.material_slots[polygon.material_index].material
    if material is None or not material.use_nodes:
        return False
    for node in material.node_tree.nodes:
        if node.type == 'BSDF_PRINCIPLED':
            for name in ('Transmission', 'Transmission Weight'):
                if name in node.inputs and node.inputs[name].default_value > 0.5:
                    return True
    return False


def read(path):
    bpy.ops.wm.read_factory_settings(use_empty=True)
    bpy.ops.import_scene.gltf(filepath=path)
    meshes = [o for o in bpy.context.scene.objects if o.type == 'MESH']
    low = [float('inf')] * 3
    high = [float('-inf')] * 3
    faces = {'front': (0.0, None), 'back': (0.0, None)}
    result_clear = [0]
    for obj in meshes:
        world = obj.matrix_world
        for vertex in obj.data.vertices:
            p = world @ vertex.co
            # Blender stands Z up; the file's axes are x, z, -y of it.
            q = (p.x, p.z, -p.y)
            for a in range(3):
                low[a] = min(low[a], q[a])
                high[a] = max(high[a], q[a])
        for polygon in obj.data.polygons:
            # A case's clear sleeve lies over its print: the print is the face.
            if clear(obj, polygon):
                result_clear[0] += 1
                continue
            n = world.to_3x3() @ polygon.normal
            facing = -n.y  # the file's +Z
            area = polygon.area
            for side, sign in (('front', 1), ('back', -1)):
                if facing * sign > 0.9 and area > faces[side][0]:
                    faces[side] = (area, (obj, polygon))
    result = {'file': os.path.basename(path), 'min': low, 'max': high, 'objects': len(meshes),
              'clear': result_clear[0]}
    for side in ('front', 'back'):
        found = faces[side][1]
        result[side] = texture_colour(*found) if found else None
    return result


for path in sys.argv[sys.argv.index('--') + 1:]:
    try:
        print('SHOP ' + json.dumps(read(path)), flush=True)
    except Exception as error:  # a file Blender cannot read is reported, not fatal
        print('SHOP ' + json.dumps({'file': os.path.basename(path), 'error': str(error)}), flush=True)
