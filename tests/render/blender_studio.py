# Rebuilds a studio shot that kestrova-render described (--describe) in
# Blender's Cycles, as an independent renderer to hold the studio look to.
#   blender -b --factory-startup --python blender_studio.py -- shot.json out.png [samples]
# The picture is written with a transparent film: the floor is a shadow
# catcher, so its alpha is the shadow, as the studio look's floor darkens the
# background.
import json
import math
import sys

import bpy
import mathutils

args = sys.argv[sys.argv.index("--") + 1:]
shot = json.load(open(args[0]))
output = args[1]
samples = int(args[2]) if len(args) > 2 else 64

bpy.ops.wm.read_factory_settings(use_empty=True)
scene = bpy.context.scene
scene.render.engine = "CYCLES"
scene.cycles.device = "CPU"
scene.cycles.samples = samples
scene.cycles.use_denoising = False
scene.cycles.seed = 1
scene.render.resolution_x = shot["width"]
scene.render.resolution_y = shot["height"]
scene.render.resolution_percentage = 100
scene.render.film_transparent = True
scene.view_settings.view_transform = "Standard"
scene.view_settings.look = "None"
scene.render.image_settings.file_format = "PNG"
scene.render.image_settings.color_mode = "RGBA"

# The description's floor frame is y up; Blender's is z up.
def point(p):
    return mathutils.Vector((p[0], -p[2], p[1]))

# The product: one material per part, its colour the part's mean colour.
for index, part in enumerate(shot["parts"]):
    corners = [point(p) for p in part["triangles"]]
    faces = [(i, i + 1, i + 2) for i in range(0, len(corners) - 2, 3)]
    mesh = bpy.data.meshes.new("part%d" % index)
    mesh.from_pydata(corners, [], faces)
    mesh.update()
    material = bpy.data.materials.new("material%d" % index)
    material.use_nodes = True
    bsdf = material.node_tree.nodes["Principled BSDF"]
    bsdf.inputs["Base Color"].default_value = (*part["colour"], 1.0)
    bsdf.inputs["Roughness"].default_value = shot["material"]["roughness"]
    bsdf.inputs["Specular"].default_value = shot["material"]["specular"] / 0.08
    bsdf.inputs["Clearcoat"].default_value = shot["material"]["coat"]
    bsdf.inputs["Clearcoat Roughness"].default_value = shot["material"]["coatRoughness"]
    mesh.materials.append(material)
    obj = bpy.data.objects.new("part%d" % index, mesh)
    scene.collection.objects.link(obj)

# The floor catches shadows only.
bpy.ops.mesh.primitive_plane_add(size=100000.0, location=(0, 0, 0))
floor = bpy.context.active_object
floor.is_shadow_catcher = True
# It still lights the product from below, as a floor of its colour would.
floor_material = bpy.data.materials.new("floor")
floor_material.use_nodes = True
floor_bsdf = floor_material.node_tree.nodes["Principled BSDF"]
floor_bsdf.inputs["Base Color"].default_value = (*shot["floorAlbedo"], 1.0)
floor_bsdf.inputs["Roughness"].default_value = 1.0
floor_bsdf.inputs["Specular"].default_value = 0.0
floor.data.materials.append(floor_material)

# Each light a round soft box at its place (its distance from the
# product's middle, along its direction), facing the product, of its size;
# its power gives white card facing it at the product's middle the
# irradiance that shows `intensity`. A Lambertian disc of radius r and power
# P lights a point on its axis d away with P / (pi (d^2 + r^2)).
heights = [p[1] for part in shot["parts"] for p in part["triangles"]]
middle = point([0.0, max(heights) / 2, 0.0])
for light in shot["lights"]:
    data = bpy.data.lights.new(light["name"], type="AREA")
    data.shape = "DISK"
    radius, distance = light["radius"], light["distance"]
    data.size = 2 * radius
    data.energy = light["intensity"] * math.pi * math.pi * (distance * distance + radius * radius)
    data.color = light["colour"]
    obj = bpy.data.objects.new(light["name"], data)
    towards = point(light["direction"]).normalized()
    obj.location = middle + towards * distance
    obj.rotation_euler = towards.to_track_quat("Z", "Y").to_euler()
    scene.collection.objects.link(obj)

# The dome: sky straight up, the horizon around, the ground below.
world = bpy.data.worlds.new("studio")
world.use_nodes = True
nodes = world.node_tree.nodes
links = world.node_tree.links
background = nodes["Background"]
geometry = nodes.new("ShaderNodeNewGeometry")
separate = nodes.new("ShaderNodeSeparateXYZ")
ramp = nodes.new("ShaderNodeValToRGB")
links.new(geometry.outputs["Normal"], separate.inputs["Vector"])
map_range = nodes.new("ShaderNodeMapRange")
# A world shader's normal points back along the ray: up is its -z.
map_range.inputs["From Min"].default_value = 1.0
map_range.inputs["From Max"].default_value = -1.0
links.new(separate.outputs["Z"], map_range.inputs["Value"])
links.new(map_range.outputs["Result"], ramp.inputs["Fac"])
environment = shot["environment"]
ramp.color_ramp.elements[0].color = (*environment["ground"], 1.0)
ramp.color_ramp.elements[1].color = (*environment["sky"], 1.0)
middle = ramp.color_ramp.elements.new(0.5)
middle.color = (*environment["horizon"], 1.0)
links.new(ramp.outputs["Color"], background.inputs["Color"])
background.inputs["Strength"].default_value = 1.0
scene.world = world

# The camera, on a 24 mm high sensor.
camera_data = bpy.data.cameras.new("camera")
camera_data.sensor_fit = "VERTICAL"
camera_data.sensor_height = shot["camera"]["sensorHeight"]
camera_data.lens = shot["camera"]["lens"]
camera_data.clip_start = 0.1
camera_data.clip_end = 100000.0
camera = bpy.data.objects.new("camera", camera_data)
c = shot["camera"]
right, up, back = point(c["right"]), point(c["up"]), point(c["back"])
orientation = mathutils.Matrix((right, up, back)).transposed().to_4x4()
camera.matrix_world = mathutils.Matrix.Translation(point(c["position"])) @ orientation
scene.collection.objects.link(camera)
scene.camera = camera

scene.render.filepath = output
bpy.ops.render.render(write_still=True)
